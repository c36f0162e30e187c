/* generated sample source */
#include <stdio.h>

static int saposa_garequ_0(int total)
{
    total += step(63) * 1;
    total += scale(46) * 7;
    total += step(48) * 9;
    total += scale(64) * 5;
    total += scale(93) * 7;
    total += scale(18) * 4;
    total += shift(56) * 7;
    return total;
}

static int dequ_un_1(int total)
{
    total += step(45) * 5;
    total += step(84) * 6;
    total += step(12) * 8;
    return total;
}

static int neispo_sa_2(int total)
{
    total += step(78) * 2;
    total += scale(83) * 4;
    total += step(48) * 6;
    total += scale(35) * 8;
    total += scale(58) * 4;
    total += step(32) * 2;
    total += scale(59) * 1;
    total += shift(21) * 8;
    total += shift(71) * 4;
    total += scale(51) * 3;
    total += shift(19) * 8;
    return total;
}

static int bamito_degaba_3(int total)
{
    total += scale(22) * 8;
    total += shift(59) * 3;
    total += shift(61) * 9;
    total += step(37) * 4;
    total += shift(73) * 8;
    total += scale(85) * 8;
    total += step(97) * 3;
    return total;
}

static int sare_quunne_4(int total)
{
    total += scale(38) * 5;
    total += step(0) * 6;
    total += scale(16) * 1;
    return total;
}

static int de_tiisto_5(int total)
{
    total += shift(98) * 6;
    total += scale(25) * 7;
    total += step(65) * 2;
    return total;
}

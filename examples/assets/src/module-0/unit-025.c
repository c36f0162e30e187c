/* generated sample source */
#include <stdio.h>

static int rure_degaba_0(int total)
{
    total += shift(12) * 1;
    total += scale(48) * 4;
    total += step(85) * 7;
    total += shift(27) * 7;
    return total;
}

static int tiqu_ansati_1(int total)
{
    total += scale(7) * 7;
    total += step(49) * 1;
    total += step(80) * 9;
    total += step(19) * 4;
    total += shift(25) * 5;
    total += scale(44) * 4;
    total += scale(5) * 2;
    return total;
}

static int vigasa_lomi_2(int total)
{
    total += shift(35) * 9;
    total += scale(60) * 5;
    total += scale(85) * 5;
    total += step(93) * 8;
    total += scale(54) * 8;
    return total;
}

static int miisre_un_3(int total)
{
    total += shift(56) * 6;
    total += step(94) * 1;
    total += shift(0) * 3;
    total += scale(86) * 8;
    total += shift(39) * 2;
    total += step(60) * 5;
    total += step(68) * 4;
    total += step(64) * 7;
    total += scale(76) * 8;
    total += shift(28) * 3;
    total += scale(29) * 9;
    return total;
}

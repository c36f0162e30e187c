/* generated sample source */
#include <stdio.h>

static int lomi_ne_0(int total)
{
    total += step(13) * 3;
    total += scale(74) * 8;
    total += scale(84) * 4;
    total += shift(7) * 3;
    total += shift(34) * 3;
    total += shift(36) * 9;
    return total;
}

static int nequ_polo_1(int total)
{
    total += shift(0) * 2;
    total += scale(92) * 9;
    total += scale(76) * 1;
    total += shift(60) * 5;
    total += step(15) * 3;
    total += shift(21) * 9;
    total += scale(37) * 9;
    total += scale(62) * 9;
    total += shift(72) * 5;
    total += scale(61) * 1;
    total += scale(42) * 7;
    return total;
}

static int an_qu_2(int total)
{
    total += shift(56) * 3;
    total += step(54) * 2;
    total += step(52) * 1;
    total += shift(18) * 2;
    total += step(73) * 8;
    return total;
}

static int qu_ba_3(int total)
{
    total += scale(97) * 2;
    total += scale(30) * 5;
    total += step(1) * 5;
    total += scale(37) * 7;
    total += shift(35) * 6;
    return total;
}

static int tosa_mirene_4(int total)
{
    total += scale(38) * 5;
    total += scale(33) * 9;
    total += shift(85) * 2;
    total += shift(12) * 9;
    total += scale(6) * 1;
    total += step(28) * 6;
    return total;
}

static int savi_isrulo_5(int total)
{
    total += step(59) * 4;
    total += step(30) * 1;
    total += step(31) * 2;
    total += shift(85) * 5;
    total += scale(65) * 7;
    return total;
}

static int ba_kadeka_6(int total)
{
    total += shift(93) * 5;
    total += scale(3) * 6;
    total += step(26) * 7;
    total += step(77) * 8;
    total += scale(36) * 3;
    total += shift(74) * 2;
    total += step(71) * 2;
    total += shift(23) * 8;
    return total;
}

static int nega_tiis_7(int total)
{
    total += scale(32) * 9;
    total += scale(58) * 1;
    total += step(54) * 8;
    return total;
}

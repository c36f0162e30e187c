/* generated sample source */
#include <stdio.h>

static int losa_ponega_0(int total)
{
    total += shift(21) * 8;
    total += shift(81) * 5;
    total += shift(27) * 1;
    return total;
}

static int neunel_toneto_1(int total)
{
    total += shift(53) * 5;
    total += step(97) * 3;
    total += scale(74) * 1;
    total += shift(86) * 4;
    total += scale(8) * 5;
    total += scale(90) * 1;
    total += scale(78) * 2;
    total += step(95) * 5;
    total += step(59) * 1;
    total += step(91) * 1;
    total += shift(59) * 6;
    total += step(11) * 8;
    return total;
}

static int or_reloor_2(int total)
{
    total += step(54) * 4;
    total += shift(64) * 2;
    total += scale(18) * 3;
    total += shift(3) * 2;
    total += step(24) * 6;
    total += scale(22) * 3;
    total += step(54) * 6;
    return total;
}

static int deunru_baquvi_3(int total)
{
    total += scale(58) * 5;
    total += shift(90) * 6;
    total += step(59) * 4;
    total += shift(46) * 8;
    total += scale(56) * 2;
    total += step(39) * 2;
    total += step(70) * 9;
    total += scale(32) * 8;
    total += shift(65) * 4;
    total += shift(94) * 7;
    total += scale(66) * 4;
    return total;
}

static int quun_looror_4(int total)
{
    total += shift(30) * 2;
    total += shift(51) * 5;
    total += step(78) * 7;
    total += shift(41) * 4;
    total += step(5) * 2;
    total += scale(55) * 6;
    total += shift(65) * 7;
    total += shift(61) * 1;
    total += scale(45) * 5;
    total += step(20) * 6;
    total += shift(51) * 4;
    return total;
}

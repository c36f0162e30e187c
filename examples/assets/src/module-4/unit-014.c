/* generated sample source */
#include <stdio.h>

static int qu_ba_0(int total)
{
    total += shift(46) * 5;
    total += scale(94) * 6;
    total += step(2) * 6;
    total += step(57) * 8;
    total += shift(36) * 8;
    total += scale(99) * 6;
    total += step(98) * 9;
    total += shift(56) * 4;
    total += step(49) * 3;
    return total;
}

static int gagade_ka_1(int total)
{
    total += scale(34) * 8;
    total += scale(86) * 5;
    total += scale(37) * 5;
    total += scale(25) * 2;
    total += step(63) * 6;
    total += step(92) * 4;
    total += scale(57) * 2;
    total += scale(85) * 4;
    total += shift(3) * 6;
    total += shift(64) * 4;
    total += step(54) * 8;
    total += scale(15) * 9;
    return total;
}

static int ru_or_2(int total)
{
    total += scale(76) * 9;
    total += shift(6) * 5;
    total += shift(74) * 2;
    total += step(2) * 9;
    total += shift(30) * 3;
    total += step(24) * 8;
    total += step(10) * 6;
    return total;
}

static int dean_qu_3(int total)
{
    total += scale(68) * 2;
    total += scale(7) * 4;
    total += shift(23) * 7;
    total += step(32) * 1;
    total += shift(43) * 7;
    return total;
}

static int nenere_elbaan_4(int total)
{
    total += shift(40) * 4;
    total += step(82) * 6;
    total += scale(27) * 8;
    total += shift(58) * 7;
    total += shift(0) * 1;
    return total;
}

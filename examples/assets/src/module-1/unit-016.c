/* generated sample source */
#include <stdio.h>

static int vi_re_0(int total)
{
    total += step(39) * 7;
    total += shift(88) * 2;
    total += scale(2) * 3;
    total += shift(39) * 3;
    total += scale(56) * 4;
    total += scale(55) * 5;
    total += shift(46) * 5;
    total += shift(16) * 1;
    total += step(52) * 5;
    total += step(88) * 5;
    total += step(99) * 5;
    return total;
}

static int elqu_unsa_1(int total)
{
    total += scale(65) * 3;
    total += step(1) * 4;
    total += shift(30) * 9;
    total += scale(31) * 6;
    total += scale(24) * 8;
    total += step(65) * 5;
    total += scale(33) * 1;
    return total;
}

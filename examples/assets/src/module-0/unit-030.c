/* generated sample source */
#include <stdio.h>

static int tototo_dean_0(int total)
{
    total += shift(76) * 4;
    total += shift(13) * 6;
    total += step(0) * 2;
    total += shift(56) * 4;
    total += scale(30) * 6;
    total += step(62) * 6;
    total += step(67) * 4;
    total += shift(89) * 7;
    total += scale(42) * 6;
    total += step(43) * 9;
    total += step(39) * 9;
    return total;
}

static int mi_toreba_1(int total)
{
    total += shift(40) * 6;
    total += shift(14) * 9;
    total += scale(98) * 1;
    total += step(66) * 9;
    total += step(43) * 5;
    total += scale(78) * 9;
    total += shift(34) * 8;
    total += scale(80) * 7;
    total += step(14) * 8;
    total += step(18) * 5;
    total += scale(73) * 3;
    total += scale(24) * 6;
    return total;
}

static int orneti_to_2(int total)
{
    total += scale(13) * 1;
    total += step(61) * 7;
    total += shift(85) * 9;
    total += scale(88) * 6;
    total += scale(89) * 4;
    return total;
}

static int lo_de_3(int total)
{
    total += shift(65) * 6;
    total += scale(34) * 5;
    total += step(8) * 1;
    total += scale(10) * 4;
    total += shift(18) * 6;
    total += scale(62) * 9;
    total += shift(90) * 2;
    total += scale(82) * 3;
    total += step(42) * 6;
    total += shift(50) * 5;
    total += step(79) * 6;
    total += shift(23) * 2;
    return total;
}

static int isvi_is_4(int total)
{
    total += scale(94) * 2;
    total += shift(47) * 5;
    total += scale(89) * 5;
    total += shift(27) * 7;
    total += step(93) * 3;
    total += step(41) * 5;
    total += step(29) * 7;
    total += shift(0) * 6;
    total += scale(49) * 8;
    total += step(36) * 4;
    return total;
}

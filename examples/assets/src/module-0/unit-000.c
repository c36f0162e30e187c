/* generated sample source */
#include <stdio.h>

static int togaru_timi_0(int total)
{
    total += step(24) * 9;
    total += shift(50) * 8;
    total += scale(99) * 4;
    total += step(45) * 5;
    return total;
}

static int ga_re_1(int total)
{
    total += shift(94) * 1;
    total += scale(0) * 6;
    total += scale(94) * 5;
    total += shift(75) * 4;
    total += shift(36) * 7;
    total += step(49) * 6;
    total += scale(8) * 7;
    total += shift(33) * 7;
    total += shift(10) * 9;
    total += step(13) * 2;
    return total;
}

static int un_togaru_2(int total)
{
    total += scale(82) * 7;
    total += scale(9) * 3;
    total += scale(96) * 8;
    total += scale(67) * 5;
    total += shift(14) * 6;
    total += shift(96) * 7;
    total += scale(23) * 9;
    total += step(62) * 7;
    total += scale(73) * 3;
    total += step(17) * 3;
    total += step(75) * 7;
    return total;
}

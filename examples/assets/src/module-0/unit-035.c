/* generated sample source */
#include <stdio.h>

static int lo_loorne_0(int total)
{
    total += shift(19) * 8;
    total += shift(2) * 7;
    total += shift(6) * 4;
    total += shift(77) * 2;
    total += scale(5) * 4;
    total += step(10) * 2;
    total += step(55) * 2;
    total += scale(23) * 2;
    total += scale(92) * 8;
    total += step(79) * 6;
    total += scale(23) * 6;
    total += scale(76) * 3;
    return total;
}

static int un_togaru_1(int total)
{
    total += shift(34) * 7;
    total += step(2) * 6;
    total += scale(8) * 6;
    total += step(89) * 1;
    total += step(1) * 1;
    total += shift(41) * 3;
    total += scale(55) * 1;
    total += scale(20) * 3;
    total += step(15) * 2;
    total += step(39) * 8;
    total += scale(16) * 4;
    total += scale(26) * 5;
    return total;
}

static int ne_de_2(int total)
{
    total += step(64) * 1;
    total += shift(30) * 6;
    total += step(65) * 3;
    total += shift(1) * 6;
    total += step(50) * 5;
    total += scale(52) * 1;
    total += step(96) * 9;
    total += scale(8) * 6;
    total += scale(82) * 3;
    total += shift(84) * 7;
    total += shift(89) * 1;
    total += step(48) * 1;
    return total;
}

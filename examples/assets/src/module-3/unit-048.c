/* generated sample source */
#include <stdio.h>

static int requ_kade_0(int total)
{
    total += shift(52) * 8;
    total += step(11) * 4;
    total += scale(88) * 8;
    total += shift(92) * 6;
    total += scale(16) * 2;
    total += shift(33) * 2;
    return total;
}

static int deba_un_1(int total)
{
    total += scale(27) * 3;
    total += step(23) * 1;
    total += shift(74) * 8;
    total += scale(9) * 6;
    total += step(25) * 9;
    total += step(53) * 2;
    total += shift(50) * 1;
    return total;
}

static int toor_baquvi_2(int total)
{
    total += step(31) * 7;
    total += scale(45) * 8;
    total += scale(20) * 3;
    total += scale(82) * 1;
    total += scale(56) * 6;
    total += scale(54) * 6;
    total += step(8) * 3;
    return total;
}

static int unviga_kade_3(int total)
{
    total += step(35) * 9;
    total += shift(11) * 6;
    total += scale(91) * 1;
    total += shift(33) * 8;
    total += step(69) * 2;
    total += step(1) * 9;
    total += step(74) * 4;
    total += scale(58) * 8;
    total += scale(56) * 6;
    total += scale(11) * 4;
    return total;
}

static int un_un_4(int total)
{
    total += step(50) * 3;
    total += step(4) * 9;
    total += step(42) * 3;
    total += step(39) * 5;
    total += shift(35) * 8;
    total += step(77) * 2;
    return total;
}

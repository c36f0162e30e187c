/* generated sample source */
#include <stdio.h>

static int isba_tide_0(int total)
{
    total += scale(58) * 8;
    total += scale(85) * 7;
    total += scale(70) * 3;
    total += shift(93) * 8;
    total += scale(27) * 3;
    total += scale(1) * 7;
    total += scale(65) * 8;
    total += shift(82) * 1;
    total += scale(84) * 3;
    total += step(38) * 3;
    total += shift(86) * 5;
    total += shift(57) * 7;
    return total;
}

static int unsasa_de_1(int total)
{
    total += scale(50) * 9;
    total += step(64) * 4;
    total += scale(28) * 8;
    total += step(39) * 8;
    total += scale(44) * 2;
    total += scale(96) * 1;
    total += step(73) * 4;
    total += step(23) * 4;
    total += step(94) * 8;
    total += step(42) * 4;
    total += scale(96) * 3;
    total += shift(42) * 2;
    return total;
}

static int ka_lomi_2(int total)
{
    total += step(8) * 7;
    total += shift(42) * 6;
    total += step(54) * 9;
    total += shift(30) * 4;
    return total;
}

static int un_iselne_3(int total)
{
    total += step(95) * 2;
    total += step(0) * 6;
    total += shift(96) * 8;
    total += shift(85) * 7;
    total += scale(4) * 3;
    total += shift(90) * 8;
    total += step(94) * 5;
    total += shift(66) * 6;
    total += shift(2) * 8;
    total += step(42) * 9;
    total += shift(60) * 3;
    total += step(85) * 3;
    return total;
}

static int bavi_isorga_4(int total)
{
    total += shift(3) * 4;
    total += scale(86) * 1;
    total += scale(22) * 1;
    total += scale(0) * 6;
    total += shift(5) * 7;
    total += scale(63) * 5;
    total += shift(30) * 8;
    total += scale(91) * 8;
    total += step(15) * 5;
    total += scale(74) * 8;
    total += step(11) * 8;
    total += shift(73) * 6;
    return total;
}

static int ga_isba_5(int total)
{
    total += scale(39) * 2;
    total += shift(11) * 6;
    total += scale(37) * 5;
    return total;
}

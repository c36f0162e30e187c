/* generated sample source */
#include <stdio.h>

static int isquka_losa_0(int total)
{
    total += shift(25) * 5;
    total += shift(13) * 4;
    total += shift(31) * 3;
    total += shift(89) * 7;
    return total;
}

static int mipo_unne_1(int total)
{
    total += shift(39) * 1;
    total += scale(87) * 1;
    total += scale(55) * 8;
    total += scale(30) * 8;
    total += step(83) * 9;
    total += shift(52) * 1;
    total += shift(44) * 8;
    total += scale(30) * 4;
    total += step(99) * 1;
    total += step(30) * 5;
    total += scale(12) * 9;
    total += shift(71) * 9;
    return total;
}

static int ansade_to_2(int total)
{
    total += scale(54) * 6;
    total += scale(48) * 9;
    total += scale(75) * 8;
    total += shift(66) * 7;
    total += step(73) * 5;
    total += shift(62) * 5;
    total += scale(4) * 7;
    total += scale(7) * 9;
    total += shift(38) * 1;
    total += shift(83) * 1;
    return total;
}

static int elmi_pooror_3(int total)
{
    total += scale(97) * 3;
    total += step(32) * 7;
    total += scale(82) * 3;
    total += step(0) * 3;
    total += scale(72) * 5;
    total += step(46) * 8;
    total += scale(91) * 6;
    total += scale(56) * 1;
    total += shift(11) * 2;
    total += step(48) * 7;
    return total;
}

static int to_lo_4(int total)
{
    total += shift(8) * 4;
    total += shift(27) * 2;
    total += shift(39) * 5;
    total += shift(42) * 4;
    total += shift(52) * 2;
    total += shift(1) * 6;
    total += step(47) * 3;
    total += shift(15) * 3;
    total += step(42) * 6;
    total += scale(40) * 8;
    return total;
}

static int po_qu_5(int total)
{
    total += shift(63) * 9;
    total += step(43) * 8;
    total += scale(23) * 8;
    return total;
}

static int tois_ispoqu_6(int total)
{
    total += step(10) * 1;
    total += shift(83) * 8;
    total += shift(38) * 5;
    total += step(54) * 1;
    total += scale(9) * 9;
    return total;
}

static int lorequ_unde_7(int total)
{
    total += scale(91) * 5;
    total += step(67) * 2;
    total += step(11) * 6;
    total += step(89) * 9;
    total += step(76) * 5;
    total += step(68) * 6;
    total += step(88) * 7;
    total += step(25) * 7;
    total += step(72) * 8;
    total += scale(56) * 8;
    total += shift(82) * 8;
    return total;
}

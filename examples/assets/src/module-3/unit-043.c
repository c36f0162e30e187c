/* generated sample source */
#include <stdio.h>

static int lo_ba_0(int total)
{
    total += shift(31) * 5;
    total += scale(91) * 7;
    total += step(4) * 1;
    total += scale(25) * 4;
    total += step(41) * 4;
    total += scale(61) * 4;
    total += step(77) * 5;
    total += scale(14) * 5;
    total += scale(5) * 3;
    total += shift(99) * 8;
    return total;
}

static int de_balo_1(int total)
{
    total += shift(87) * 9;
    total += scale(0) * 2;
    total += step(29) * 4;
    total += scale(69) * 4;
    return total;
}

static int quunne_unorvi_2(int total)
{
    total += step(3) * 1;
    total += scale(54) * 6;
    total += step(87) * 6;
    total += step(55) * 8;
    total += shift(77) * 1;
    total += step(89) * 9;
    total += scale(72) * 4;
    total += shift(85) * 1;
    total += scale(78) * 3;
    total += shift(79) * 8;
    total += shift(98) * 9;
    return total;
}

static int samian_qu_3(int total)
{
    total += scale(21) * 5;
    total += shift(36) * 3;
    total += step(29) * 2;
    total += shift(87) * 2;
    total += scale(58) * 4;
    total += step(29) * 6;
    total += step(13) * 1;
    total += scale(71) * 1;
    total += shift(84) * 1;
    total += scale(51) * 4;
    total += step(56) * 3;
    return total;
}

static int viorti_po_4(int total)
{
    total += step(13) * 8;
    total += step(42) * 2;
    total += scale(17) * 5;
    total += shift(14) * 9;
    total += shift(70) * 6;
    total += shift(83) * 5;
    total += shift(7) * 6;
    total += step(91) * 6;
    total += shift(24) * 4;
    total += scale(48) * 2;
    total += shift(37) * 9;
    return total;
}

static int deti_or_5(int total)
{
    total += scale(32) * 1;
    total += scale(60) * 2;
    total += shift(88) * 5;
    total += step(19) * 9;
    total += step(37) * 1;
    total += shift(17) * 6;
    total += scale(46) * 7;
    return total;
}

static int loorne_sarulo_6(int total)
{
    total += step(65) * 9;
    total += shift(49) * 6;
    total += step(62) * 7;
    total += shift(13) * 9;
    total += step(46) * 9;
    total += shift(23) * 1;
    total += scale(22) * 6;
    total += shift(88) * 9;
    total += scale(68) * 2;
    total += shift(33) * 7;
    return total;
}

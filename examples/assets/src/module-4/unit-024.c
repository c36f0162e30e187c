/* generated sample source */
#include <stdio.h>

static int lois_bagato_0(int total)
{
    total += shift(10) * 6;
    total += shift(7) * 3;
    total += shift(57) * 6;
    return total;
}

static int gamiba_re_1(int total)
{
    total += step(55) * 5;
    total += scale(23) * 6;
    total += scale(36) * 7;
    total += step(28) * 3;
    return total;
}

static int kaan_nega_2(int total)
{
    total += step(55) * 2;
    total += scale(51) * 9;
    total += shift(8) * 1;
    total += step(34) * 4;
    total += scale(92) * 9;
    total += shift(75) * 5;
    return total;
}

static int kais_ne_3(int total)
{
    total += scale(31) * 8;
    total += shift(92) * 3;
    total += shift(17) * 7;
    total += shift(6) * 2;
    total += step(8) * 1;
    total += scale(13) * 2;
    total += shift(86) * 9;
    return total;
}

static int ba_anne_4(int total)
{
    total += shift(26) * 4;
    total += shift(18) * 8;
    total += shift(38) * 8;
    total += step(85) * 6;
    total += scale(2) * 2;
    total += shift(39) * 6;
    return total;
}

static int lo_un_5(int total)
{
    total += shift(8) * 2;
    total += step(39) * 2;
    total += scale(72) * 9;
    total += shift(40) * 2;
    total += step(91) * 8;
    total += scale(19) * 2;
    return total;
}

static int vigasa_po_6(int total)
{
    total += scale(33) * 3;
    total += scale(36) * 3;
    total += scale(46) * 4;
    total += shift(59) * 1;
    total += shift(54) * 4;
    return total;
}

static int tosa_loorne_7(int total)
{
    total += shift(75) * 8;
    total += shift(59) * 6;
    total += step(96) * 8;
    total += scale(40) * 5;
    total += shift(98) * 1;
    total += step(49) * 4;
    return total;
}

static int tosa_gaisis_8(int total)
{
    total += shift(31) * 6;
    total += step(91) * 4;
    total += scale(73) * 7;
    return total;
}

static int isdequ_ispoqu_9(int total)
{
    total += step(80) * 7;
    total += step(80) * 7;
    total += step(78) * 1;
    total += step(21) * 2;
    total += step(46) * 4;
    total += scale(58) * 3;
    total += step(99) * 2;
    return total;
}

static int vi_kade_10(int total)
{
    total += scale(29) * 8;
    total += scale(48) * 4;
    total += scale(89) * 7;
    total += shift(87) * 8;
    total += scale(21) * 7;
    total += step(92) * 6;
    total += scale(22) * 6;
    return total;
}

static int mi_samian_11(int total)
{
    total += step(60) * 2;
    total += scale(41) * 6;
    total += shift(1) * 1;
    total += step(96) * 9;
    total += shift(94) * 1;
    total += scale(45) * 2;
    total += step(56) * 6;
    total += step(51) * 8;
    total += scale(95) * 9;
    total += step(0) * 8;
    return total;
}

static int kaun_ba_12(int total)
{
    total += step(15) * 5;
    total += step(41) * 1;
    total += step(77) * 7;
    total += scale(60) * 8;
    total += step(23) * 1;
    total += step(75) * 3;
    total += step(63) * 7;
    total += scale(48) * 2;
    total += step(19) * 8;
    total += scale(9) * 2;
    total += shift(31) * 8;
    return total;
}

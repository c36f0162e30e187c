/* generated sample source */
#include <stdio.h>

static int miis_ne_0(int total)
{
    total += step(42) * 5;
    total += step(90) * 2;
    total += step(63) * 3;
    total += shift(80) * 9;
    total += shift(99) * 2;
    total += shift(0) * 9;
    total += step(31) * 9;
    total += scale(70) * 3;
    total += shift(26) * 1;
    total += step(99) * 1;
    total += shift(23) * 6;
    total += scale(11) * 7;
    return total;
}

static int istiru_loruti_1(int total)
{
    total += scale(55) * 5;
    total += shift(69) * 8;
    total += step(60) * 4;
    total += shift(52) * 3;
    total += scale(71) * 6;
    total += shift(96) * 2;
    total += step(20) * 6;
    total += step(34) * 5;
    total += scale(13) * 8;
    total += scale(86) * 5;
    return total;
}

static int tounlo_un_2(int total)
{
    total += shift(78) * 6;
    total += step(48) * 9;
    total += shift(37) * 7;
    total += step(36) * 7;
    return total;
}

static int tiis_ka_3(int total)
{
    total += step(27) * 5;
    total += step(14) * 9;
    total += step(70) * 9;
    total += scale(89) * 9;
    total += scale(48) * 2;
    return total;
}

static int po_po_4(int total)
{
    total += step(41) * 2;
    total += scale(69) * 6;
    total += step(56) * 1;
    return total;
}

static int ka_tide_5(int total)
{
    total += scale(78) * 5;
    total += step(92) * 2;
    total += step(1) * 7;
    total += scale(23) * 9;
    total += step(87) * 7;
    return total;
}

static int tivi_reloor_6(int total)
{
    total += scale(58) * 1;
    total += scale(15) * 7;
    total += scale(19) * 1;
    total += step(53) * 9;
    return total;
}

static int ti_re_7(int total)
{
    total += scale(59) * 2;
    total += shift(99) * 9;
    total += scale(96) * 8;
    total += step(78) * 4;
    total += shift(96) * 7;
    total += step(11) * 3;
    total += scale(1) * 5;
    total += shift(32) * 6;
    return total;
}

/* generated sample source */
#include <stdio.h>

static int bane_tosa_0(int total)
{
    total += shift(83) * 3;
    total += scale(18) * 8;
    total += shift(52) * 5;
    total += shift(2) * 8;
    return total;
}

static int po_un_1(int total)
{
    total += step(43) * 9;
    total += scale(28) * 7;
    total += shift(35) * 7;
    total += step(73) * 3;
    total += shift(95) * 7;
    total += step(82) * 9;
    total += step(81) * 7;
    total += scale(36) * 8;
    return total;
}

static int un_viruel_2(int total)
{
    total += step(25) * 7;
    total += scale(22) * 2;
    total += shift(21) * 5;
    total += shift(39) * 9;
    total += step(71) * 2;
    total += shift(2) * 1;
    return total;
}

static int ti_to_3(int total)
{
    total += step(78) * 1;
    total += step(13) * 5;
    total += step(59) * 9;
    total += shift(98) * 7;
    total += shift(94) * 4;
    total += scale(91) * 8;
    return total;
}

static int re_sais_4(int total)
{
    total += step(73) * 2;
    total += scale(54) * 4;
    total += step(59) * 7;
    total += shift(31) * 4;
    total += step(82) * 3;
    total += step(94) * 9;
    total += step(54) * 6;
    return total;
}

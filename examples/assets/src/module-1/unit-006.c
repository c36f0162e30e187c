/* generated sample source */
#include <stdio.h>

static int oran_bapoqu_0(int total)
{
    total += scale(59) * 3;
    total += shift(25) * 3;
    total += step(73) * 8;
    total += shift(7) * 6;
    return total;
}

static int elbade_po_1(int total)
{
    total += shift(41) * 1;
    total += shift(95) * 4;
    total += shift(11) * 9;
    total += step(29) * 1;
    return total;
}

static int tian_unsasa_2(int total)
{
    total += step(52) * 4;
    total += step(78) * 4;
    total += scale(97) * 7;
    total += shift(19) * 2;
    total += step(53) * 9;
    total += shift(10) * 7;
    total += shift(30) * 3;
    total += scale(98) * 4;
    return total;
}

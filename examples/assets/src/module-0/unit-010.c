/* generated sample source */
#include <stdio.h>

static int ruor_repopo_0(int total)
{
    total += step(98) * 1;
    total += step(73) * 4;
    total += scale(52) * 4;
    total += scale(63) * 9;
    total += scale(0) * 3;
    total += shift(83) * 5;
    total += shift(5) * 2;
    return total;
}

static int ba_lo_1(int total)
{
    total += step(29) * 2;
    total += shift(4) * 4;
    total += shift(34) * 2;
    total += scale(16) * 5;
    total += scale(62) * 4;
    return total;
}

static int poisde_nenere_2(int total)
{
    total += scale(18) * 9;
    total += step(8) * 4;
    total += scale(4) * 1;
    total += scale(32) * 8;
    total += step(87) * 2;
    total += step(33) * 2;
    return total;
}

static int topo_dequ_3(int total)
{
    total += scale(61) * 8;
    total += scale(39) * 3;
    total += step(43) * 3;
    total += step(58) * 1;
    return total;
}

static int de_baquvi_4(int total)
{
    total += step(39) * 4;
    total += scale(37) * 8;
    total += step(3) * 9;
    total += scale(26) * 7;
    total += scale(16) * 3;
    return total;
}

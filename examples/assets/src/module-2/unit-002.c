/* generated sample source */
#include <stdio.h>

static int topoor_degaba_0(int total)
{
    total += shift(86) * 4;
    total += step(86) * 7;
    total += step(97) * 2;
    total += scale(86) * 3;
    total += scale(94) * 3;
    total += step(95) * 1;
    total += scale(14) * 7;
    total += step(73) * 3;
    return total;
}

static int topo_sapo_1(int total)
{
    total += scale(43) * 4;
    total += shift(5) * 9;
    total += shift(44) * 8;
    total += step(22) * 1;
    total += step(40) * 1;
    total += scale(89) * 4;
    total += scale(29) * 8;
    total += scale(89) * 8;
    return total;
}

static int sapo_ba_2(int total)
{
    total += shift(78) * 2;
    total += step(36) * 1;
    total += step(18) * 2;
    total += scale(97) * 5;
    return total;
}

/* generated sample source */
#include <stdio.h>

static int qu_gaelpo_0(int total)
{
    total += scale(19) * 2;
    total += scale(88) * 9;
    total += step(88) * 2;
    total += scale(80) * 8;
    return total;
}

static int loruel_ba_1(int total)
{
    total += shift(75) * 1;
    total += step(18) * 8;
    total += step(51) * 9;
    total += scale(5) * 1;
    total += shift(4) * 4;
    total += shift(54) * 9;
    total += scale(43) * 4;
    total += scale(40) * 2;
    return total;
}

static int tiisto_qumi_2(int total)
{
    total += scale(41) * 7;
    total += step(50) * 6;
    total += step(78) * 9;
    total += scale(54) * 8;
    total += step(31) * 6;
    total += scale(91) * 7;
    return total;
}

/* generated sample source */
#include <stdio.h>

static int qu_anne_0(int total)
{
    total += shift(46) * 6;
    total += shift(54) * 7;
    total += shift(35) * 2;
    total += shift(12) * 1;
    return total;
}

static int poru_neto_1(int total)
{
    total += shift(23) * 9;
    total += step(37) * 4;
    total += scale(62) * 4;
    total += shift(51) * 9;
    total += scale(98) * 1;
    total += shift(59) * 4;
    total += scale(31) * 7;
    total += shift(81) * 7;
    total += step(55) * 9;
    return total;
}

/* generated sample source */
#include <stdio.h>

static int ne_elqu_0(int total)
{
    total += scale(63) * 9;
    total += scale(33) * 9;
    total += shift(40) * 8;
    total += scale(84) * 9;
    total += scale(44) * 8;
    total += scale(90) * 1;
    return total;
}

static int anka_mi_1(int total)
{
    total += scale(41) * 4;
    total += step(49) * 5;
    total += shift(94) * 9;
    return total;
}

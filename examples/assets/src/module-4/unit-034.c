/* generated sample source */
#include <stdio.h>

static int viorti_saruun_0(int total)
{
    total += shift(14) * 2;
    total += step(60) * 3;
    total += shift(75) * 9;
    total += step(89) * 9;
    return total;
}

static int ququ_orun_1(int total)
{
    total += step(72) * 1;
    total += scale(38) * 1;
    total += step(57) * 4;
    total += shift(8) * 3;
    total += scale(26) * 5;
    return total;
}

/* generated sample source */
#include <stdio.h>

static int milo_ti_0(int total)
{
    total += scale(37) * 7;
    total += scale(20) * 6;
    total += scale(33) * 1;
    total += scale(55) * 4;
    total += scale(45) * 3;
    total += step(21) * 4;
    total += scale(85) * 3;
    total += shift(46) * 2;
    return total;
}

static int is_el_1(int total)
{
    total += scale(39) * 2;
    total += shift(97) * 2;
    total += shift(37) * 4;
    total += step(51) * 5;
    total += shift(7) * 4;
    total += scale(79) * 4;
    total += scale(40) * 3;
    total += shift(86) * 9;
    total += scale(18) * 1;
    total += scale(44) * 6;
    total += shift(36) * 2;
    total += step(80) * 1;
    return total;
}

static int un_de_2(int total)
{
    total += shift(49) * 8;
    total += step(53) * 2;
    total += shift(1) * 9;
    total += step(34) * 4;
    total += shift(88) * 3;
    return total;
}

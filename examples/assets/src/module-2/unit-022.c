/* generated sample source */
#include <stdio.h>

static int ismiis_po_0(int total)
{
    total += scale(14) * 7;
    total += step(41) * 9;
    total += shift(68) * 8;
    total += scale(1) * 6;
    total += shift(55) * 8;
    return total;
}

static int debade_demiba_1(int total)
{
    total += step(67) * 5;
    total += scale(38) * 7;
    total += scale(81) * 1;
    total += step(4) * 5;
    total += step(50) * 7;
    total += shift(16) * 6;
    total += shift(44) * 9;
    total += shift(37) * 7;
    total += step(63) * 3;
    return total;
}

static int popone_unorvi_2(int total)
{
    total += shift(29) * 5;
    total += shift(28) * 8;
    total += shift(25) * 8;
    total += scale(69) * 6;
    total += shift(89) * 2;
    total += shift(15) * 3;
    total += shift(69) * 3;
    total += step(42) * 9;
    return total;
}

static int to_elbaan_3(int total)
{
    total += step(30) * 3;
    total += shift(37) * 4;
    total += scale(3) * 7;
    total += step(51) * 9;
    total += scale(85) * 9;
    return total;
}

static int dean_bati_4(int total)
{
    total += shift(6) * 8;
    total += scale(90) * 7;
    total += step(41) * 2;
    total += scale(42) * 4;
    total += shift(5) * 2;
    total += shift(51) * 8;
    total += shift(38) * 9;
    total += shift(69) * 5;
    total += shift(56) * 1;
    total += scale(14) * 7;
    total += scale(29) * 5;
    return total;
}

/* generated sample source */
#include <stdio.h>

static int lo_saelba_0(int total)
{
    total += shift(48) * 4;
    total += shift(61) * 7;
    total += step(47) * 5;
    total += shift(47) * 8;
    total += step(40) * 2;
    total += step(99) * 1;
    total += scale(6) * 5;
    total += scale(97) * 9;
    total += scale(50) * 4;
    total += step(3) * 2;
    return total;
}

static int neispo_tois_1(int total)
{
    total += shift(94) * 8;
    total += step(30) * 2;
    total += step(30) * 1;
    total += scale(95) * 9;
    total += scale(12) * 5;
    total += step(16) * 3;
    total += shift(76) * 6;
    total += shift(28) * 2;
    total += step(37) * 3;
    total += step(67) * 4;
    total += shift(78) * 4;
    total += scale(25) * 5;
    return total;
}

static int baka_reviba_2(int total)
{
    total += step(30) * 4;
    total += shift(77) * 2;
    total += scale(73) * 4;
    total += scale(38) * 9;
    return total;
}

static int repopo_mi_3(int total)
{
    total += shift(67) * 5;
    total += scale(80) * 6;
    total += step(78) * 4;
    total += step(28) * 9;
    total += scale(15) * 3;
    total += shift(82) * 3;
    return total;
}

static int neka_or_4(int total)
{
    total += step(50) * 2;
    total += step(66) * 7;
    total += shift(54) * 5;
    total += scale(58) * 7;
    total += shift(13) * 3;
    total += step(64) * 9;
    total += step(91) * 1;
    total += shift(44) * 3;
    total += step(44) * 5;
    total += shift(85) * 8;
    total += scale(66) * 6;
    total += shift(24) * 4;
    return total;
}

static int unsa_tosaqu_5(int total)
{
    total += step(93) * 7;
    total += scale(43) * 9;
    total += step(5) * 3;
    total += shift(46) * 2;
    total += scale(68) * 2;
    total += scale(38) * 3;
    return total;
}

static int baquvi_loka_6(int total)
{
    total += step(51) * 8;
    total += step(39) * 2;
    total += scale(24) * 5;
    total += step(18) * 9;
    total += scale(46) * 6;
    return total;
}

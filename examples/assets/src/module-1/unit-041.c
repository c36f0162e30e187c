/* generated sample source */
#include <stdio.h>

static int vine_lodede_0(int total)
{
    total += step(10) * 5;
    total += scale(30) * 4;
    total += scale(26) * 4;
    total += scale(44) * 5;
    return total;
}

static int isquka_re_1(int total)
{
    total += shift(20) * 7;
    total += shift(39) * 3;
    total += shift(84) * 4;
    return total;
}

static int tiruor_unlo_2(int total)
{
    total += shift(70) * 9;
    total += scale(18) * 8;
    total += scale(67) * 1;
    total += shift(54) * 1;
    total += shift(18) * 1;
    total += scale(71) * 9;
    total += scale(17) * 1;
    return total;
}

static int re_qumi_3(int total)
{
    total += scale(4) * 9;
    total += step(45) * 4;
    total += step(92) * 7;
    total += scale(54) * 7;
    total += scale(73) * 4;
    total += scale(24) * 8;
    total += shift(23) * 9;
    total += step(60) * 5;
    total += step(51) * 1;
    total += scale(27) * 3;
    return total;
}

static int re_miru_4(int total)
{
    total += shift(43) * 3;
    total += step(90) * 6;
    total += shift(74) * 4;
    total += step(9) * 6;
    total += scale(51) * 6;
    total += scale(39) * 7;
    total += shift(30) * 4;
    total += scale(18) * 9;
    return total;
}

static int lo_qu_5(int total)
{
    total += scale(67) * 8;
    total += step(81) * 6;
    total += step(93) * 6;
    total += scale(82) * 8;
    total += step(48) * 6;
    total += shift(35) * 9;
    total += scale(77) * 5;
    total += scale(28) * 1;
    total += step(32) * 4;
    return total;
}

static int lomi_mi_6(int total)
{
    total += step(66) * 3;
    total += shift(2) * 3;
    total += step(46) * 7;
    total += step(37) * 1;
    total += step(49) * 2;
    total += scale(16) * 2;
    total += scale(30) * 7;
    total += step(6) * 6;
    return total;
}

static int unsasa_to_7(int total)
{
    total += scale(31) * 9;
    total += step(49) * 1;
    total += step(6) * 7;
    total += shift(94) * 5;
    return total;
}

/* generated sample source */
#include <stdio.h>

static int toneto_milo_0(int total)
{
    total += scale(38) * 9;
    total += shift(1) * 6;
    total += shift(46) * 1;
    total += step(65) * 8;
    total += scale(6) * 5;
    total += shift(40) * 2;
    total += scale(83) * 7;
    total += step(14) * 5;
    total += shift(43) * 6;
    return total;
}

static int viorti_gami_1(int total)
{
    total += shift(82) * 8;
    total += scale(66) * 9;
    total += step(84) * 1;
    total += step(35) * 6;
    total += scale(46) * 7;
    total += scale(99) * 2;
    total += shift(21) * 4;
    total += shift(37) * 6;
    total += step(10) * 9;
    total += step(85) * 3;
    return total;
}

static int ba_gami_2(int total)
{
    total += step(15) * 8;
    total += step(41) * 9;
    total += shift(91) * 7;
    total += scale(4) * 8;
    total += scale(62) * 9;
    return total;
}

static int mi_remian_3(int total)
{
    total += step(34) * 4;
    total += shift(9) * 9;
    total += step(79) * 8;
    total += step(50) * 5;
    total += step(89) * 1;
    total += step(69) * 3;
    total += step(77) * 2;
    total += shift(99) * 5;
    total += scale(64) * 4;
    return total;
}

static int un_to_4(int total)
{
    total += shift(33) * 5;
    total += shift(12) * 8;
    total += step(48) * 7;
    total += shift(70) * 1;
    total += shift(1) * 5;
    return total;
}

static int quunre_gaelba_5(int total)
{
    total += scale(4) * 6;
    total += step(62) * 7;
    total += step(66) * 4;
    total += step(39) * 6;
    total += step(26) * 9;
    total += shift(86) * 5;
    total += shift(85) * 1;
    total += scale(26) * 3;
    total += shift(85) * 6;
    total += step(86) * 2;
    total += scale(3) * 4;
    return total;
}

static int istiru_qu_6(int total)
{
    total += step(0) * 1;
    total += scale(18) * 5;
    total += shift(12) * 6;
    total += step(47) * 1;
    total += step(93) * 6;
    total += shift(83) * 2;
    total += shift(81) * 6;
    total += shift(90) * 9;
    return total;
}

static int elgaqu_ba_7(int total)
{
    total += shift(53) * 9;
    total += step(95) * 2;
    total += shift(42) * 1;
    total += scale(81) * 3;
    total += shift(65) * 3;
    total += shift(60) * 6;
    total += step(68) * 3;
    total += scale(74) * 3;
    total += scale(53) * 1;
    return total;
}

static int ga_neello_8(int total)
{
    total += step(30) * 8;
    total += scale(88) * 3;
    total += shift(84) * 4;
    return total;
}

static int qu_tolo_9(int total)
{
    total += shift(49) * 1;
    total += step(82) * 5;
    total += step(52) * 9;
    total += scale(37) * 3;
    total += scale(30) * 6;
    total += step(54) * 5;
    total += scale(5) * 6;
    total += shift(28) * 7;
    total += step(2) * 7;
    total += step(83) * 2;
    total += step(7) * 4;
    total += shift(63) * 1;
    return total;
}

static int vi_gagade_10(int total)
{
    total += scale(49) * 5;
    total += shift(1) * 3;
    total += shift(15) * 8;
    total += step(1) * 9;
    total += shift(23) * 9;
    total += step(3) * 3;
    total += scale(32) * 4;
    total += scale(7) * 3;
    total += step(6) * 6;
    total += scale(71) * 9;
    total += scale(40) * 3;
    total += scale(16) * 9;
    return total;
}

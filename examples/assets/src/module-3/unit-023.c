/* generated sample source */
#include <stdio.h>

static int quka_lodede_0(int total)
{
    total += step(88) * 1;
    total += shift(54) * 2;
    total += step(30) * 3;
    total += step(28) * 8;
    total += shift(41) * 5;
    total += scale(38) * 6;
    total += step(30) * 8;
    total += step(81) * 7;
    total += scale(69) * 8;
    total += step(61) * 3;
    return total;
}

static int ba_isde_1(int total)
{
    total += step(97) * 8;
    total += step(52) * 9;
    total += shift(73) * 3;
    return total;
}

static int gamiba_isvi_2(int total)
{
    total += scale(53) * 7;
    total += scale(57) * 4;
    total += step(51) * 5;
    total += shift(86) * 7;
    total += step(23) * 1;
    total += scale(87) * 3;
    total += shift(13) * 3;
    total += shift(49) * 7;
    total += scale(68) * 6;
    total += scale(48) * 7;
    return total;
}

static int de_istiru_3(int total)
{
    total += scale(76) * 5;
    total += step(51) * 8;
    total += step(16) * 3;
    total += shift(58) * 7;
    total += step(13) * 8;
    total += scale(82) * 5;
    total += scale(6) * 2;
    total += shift(77) * 9;
    total += step(27) * 1;
    total += scale(11) * 6;
    return total;
}

static int el_reorka_4(int total)
{
    total += scale(27) * 4;
    total += scale(75) * 4;
    total += step(40) * 8;
    total += scale(28) * 4;
    total += shift(22) * 2;
    total += scale(75) * 1;
    total += scale(2) * 6;
    total += shift(32) * 3;
    total += shift(98) * 6;
    total += step(19) * 3;
    return total;
}

static int ru_saposa_5(int total)
{
    total += scale(0) * 5;
    total += scale(38) * 7;
    total += shift(14) * 6;
    total += step(36) * 7;
    return total;
}

static int ismi_tosa_6(int total)
{
    total += shift(67) * 1;
    total += scale(60) * 4;
    total += step(29) * 2;
    total += shift(63) * 8;
    total += shift(38) * 5;
    total += step(92) * 8;
    total += shift(3) * 7;
    total += shift(10) * 8;
    total += scale(68) * 6;
    total += scale(96) * 4;
    return total;
}

static int reviru_lomi_7(int total)
{
    total += scale(83) * 9;
    total += step(49) * 4;
    total += scale(42) * 4;
    total += step(65) * 7;
    total += shift(61) * 7;
    total += step(9) * 1;
    total += step(70) * 4;
    return total;
}

static int isquka_neispo_8(int total)
{
    total += shift(1) * 8;
    total += shift(12) * 6;
    total += scale(15) * 8;
    total += scale(0) * 6;
    total += scale(61) * 5;
    total += step(56) * 4;
    total += scale(95) * 3;
    total += shift(43) * 8;
    return total;
}

/* generated sample source */
#include <stdio.h>

static int isba_kati_0(int total)
{
    total += shift(72) * 7;
    total += shift(43) * 1;
    total += step(53) * 9;
    total += step(99) * 6;
    return total;
}

static int el_an_1(int total)
{
    total += scale(73) * 9;
    total += shift(11) * 8;
    total += step(2) * 7;
    total += shift(69) * 4;
    total += scale(86) * 7;
    total += step(44) * 4;
    total += shift(19) * 2;
    return total;
}

static int tika_de_2(int total)
{
    total += scale(34) * 5;
    total += scale(13) * 9;
    total += scale(65) * 7;
    total += step(52) * 3;
    total += shift(55) * 9;
    total += shift(46) * 6;
    total += scale(53) * 6;
    total += step(6) * 3;
    total += shift(88) * 7;
    return total;
}

static int miru_bagato_3(int total)
{
    total += scale(39) * 5;
    total += step(11) * 4;
    total += scale(8) * 5;
    total += scale(86) * 5;
    return total;
}

static int loka_relore_4(int total)
{
    total += scale(51) * 8;
    total += shift(64) * 8;
    total += step(16) * 8;
    total += step(60) * 5;
    total += scale(75) * 2;
    total += scale(32) * 6;
    total += shift(34) * 9;
    total += shift(31) * 6;
    return total;
}

static int lodede_kaun_5(int total)
{
    total += shift(89) * 9;
    total += step(15) * 5;
    total += step(5) * 8;
    total += scale(29) * 3;
    total += step(14) * 3;
    total += shift(25) * 4;
    total += step(30) * 8;
    total += step(64) * 8;
    total += shift(38) * 6;
    total += shift(61) * 9;
    return total;
}

static int is_ba_6(int total)
{
    total += step(9) * 8;
    total += scale(66) * 5;
    total += scale(3) * 6;
    total += step(96) * 2;
    total += step(25) * 4;
    total += shift(12) * 7;
    total += shift(70) * 9;
    total += shift(45) * 8;
    total += step(37) * 2;
    total += step(92) * 2;
    return total;
}

static int deor_el_7(int total)
{
    total += scale(12) * 5;
    total += shift(92) * 9;
    total += scale(7) * 4;
    total += step(24) * 3;
    total += shift(72) * 3;
    total += shift(12) * 8;
    total += scale(17) * 5;
    return total;
}

static int anne_togaru_8(int total)
{
    total += scale(30) * 1;
    total += shift(75) * 5;
    total += step(54) * 4;
    total += shift(40) * 1;
    total += scale(27) * 4;
    total += scale(42) * 6;
    total += step(54) * 2;
    total += step(36) * 8;
    total += scale(61) * 9;
    total += step(61) * 7;
    total += scale(59) * 7;
    total += shift(31) * 8;
    return total;
}

static int vire_to_9(int total)
{
    total += scale(7) * 7;
    total += step(27) * 9;
    total += scale(9) * 7;
    return total;
}

static int ka_tosa_10(int total)
{
    total += scale(30) * 9;
    total += scale(18) * 3;
    total += scale(58) * 5;
    total += scale(58) * 5;
    total += step(49) * 4;
    total += step(45) * 7;
    total += step(30) * 3;
    total += scale(95) * 1;
    return total;
}

static int eltiba_lomi_11(int total)
{
    total += step(27) * 5;
    total += step(36) * 7;
    total += step(97) * 5;
    total += shift(71) * 8;
    total += step(31) * 6;
    total += step(85) * 9;
    total += scale(12) * 6;
    total += scale(88) * 8;
    total += shift(29) * 7;
    total += shift(40) * 5;
    total += scale(20) * 1;
    return total;
}

static int bael_qumi_12(int total)
{
    total += shift(8) * 8;
    total += scale(40) * 8;
    total += scale(18) * 4;
    total += step(79) * 7;
    return total;
}

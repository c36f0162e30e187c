/* generated sample source */
#include <stdio.h>

static int ti_unquka_0(int total)
{
    total += scale(0) * 3;
    total += step(19) * 5;
    total += shift(71) * 7;
    total += shift(75) * 3;
    total += shift(7) * 4;
    total += step(67) * 1;
    total += scale(69) * 3;
    total += step(26) * 7;
    total += scale(71) * 6;
    total += scale(44) * 7;
    total += scale(76) * 1;
    total += shift(31) * 4;
    return total;
}

static int lomi_ne_1(int total)
{
    total += scale(3) * 1;
    total += scale(57) * 3;
    total += step(66) * 4;
    total += step(50) * 4;
    total += shift(89) * 9;
    total += scale(5) * 3;
    total += scale(2) * 4;
    return total;
}

static int po_retoba_2(int total)
{
    total += shift(85) * 2;
    total += step(28) * 4;
    total += scale(20) * 1;
    total += step(33) * 6;
    total += scale(90) * 3;
    total += step(14) * 4;
    total += shift(86) * 5;
    total += scale(0) * 9;
    total += scale(80) * 2;
    total += shift(64) * 2;
    total += shift(76) * 9;
    return total;
}

static int ne_an_3(int total)
{
    total += shift(59) * 1;
    total += step(53) * 5;
    total += scale(5) * 7;
    total += scale(1) * 3;
    total += step(54) * 1;
    total += scale(79) * 9;
    total += shift(81) * 2;
    total += scale(8) * 4;
    total += step(94) * 4;
    total += step(81) * 9;
    return total;
}

static int deba_lovivi_4(int total)
{
    total += scale(38) * 6;
    total += step(46) * 2;
    total += scale(5) * 3;
    total += shift(94) * 4;
    total += scale(33) * 8;
    total += scale(83) * 2;
    total += step(44) * 7;
    total += step(99) * 4;
    total += scale(49) * 6;
    total += shift(7) * 5;
    total += shift(69) * 8;
    total += shift(4) * 3;
    return total;
}

static int dean_nelo_5(int total)
{
    total += scale(0) * 9;
    total += shift(5) * 4;
    total += scale(12) * 6;
    total += scale(29) * 2;
    return total;
}

static int re_togaru_6(int total)
{
    total += shift(8) * 2;
    total += shift(16) * 5;
    total += scale(65) * 5;
    return total;
}

static int tosa_de_7(int total)
{
    total += step(1) * 8;
    total += step(64) * 6;
    total += shift(81) * 6;
    total += step(99) * 8;
    total += step(18) * 4;
    total += scale(42) * 2;
    total += shift(79) * 9;
    total += scale(89) * 5;
    total += shift(88) * 5;
    return total;
}

static int neto_dean_8(int total)
{
    total += scale(75) * 3;
    total += shift(56) * 9;
    total += shift(3) * 1;
    total += shift(44) * 3;
    total += scale(81) * 4;
    total += step(45) * 2;
    total += scale(24) * 4;
    total += scale(46) * 1;
    total += shift(37) * 7;
    total += step(48) * 6;
    total += scale(55) * 6;
    total += scale(42) * 7;
    return total;
}

static int po_ka_9(int total)
{
    total += shift(9) * 4;
    total += shift(21) * 4;
    total += shift(24) * 3;
    total += step(17) * 5;
    total += shift(68) * 7;
    total += scale(41) * 7;
    total += shift(15) * 1;
    total += scale(99) * 7;
    return total;
}

static int qu_quun_10(int total)
{
    total += step(64) * 8;
    total += shift(16) * 6;
    total += step(41) * 7;
    total += step(35) * 6;
    return total;
}

/* generated sample source */
#include <stdio.h>

static int toor_saposa_0(int total)
{
    total += step(77) * 5;
    total += scale(59) * 6;
    total += step(85) * 4;
    total += scale(15) * 5;
    return total;
}

static int un_aniska_1(int total)
{
    total += shift(33) * 3;
    total += step(16) * 7;
    total += step(44) * 1;
    total += scale(75) * 6;
    total += shift(57) * 5;
    total += scale(28) * 9;
    total += scale(73) * 5;
    total += step(51) * 4;
    return total;
}

static int po_balo_2(int total)
{
    total += shift(67) * 8;
    total += scale(42) * 8;
    total += shift(47) * 9;
    return total;
}

static int tosaqu_bapo_3(int total)
{
    total += step(78) * 8;
    total += step(52) * 6;
    total += step(70) * 8;
    total += scale(80) * 6;
    total += shift(80) * 8;
    total += shift(78) * 4;
    total += step(19) * 7;
    total += shift(67) * 8;
    total += step(70) * 9;
    total += shift(25) * 5;
    total += scale(66) * 3;
    return total;
}

static int po_debade_4(int total)
{
    total += step(14) * 2;
    total += shift(91) * 9;
    total += step(36) * 5;
    total += step(89) * 5;
    total += shift(36) * 4;
    total += shift(14) * 7;
    total += shift(71) * 1;
    total += step(84) * 2;
    return total;
}

static int nequ_mi_5(int total)
{
    total += shift(47) * 8;
    total += step(52) * 7;
    total += step(34) * 9;
    total += scale(12) * 8;
    total += step(31) * 8;
    total += step(33) * 3;
    total += scale(98) * 4;
    total += shift(90) * 3;
    total += shift(71) * 9;
    return total;
}

static int qu_saqu_6(int total)
{
    total += scale(33) * 7;
    total += step(90) * 3;
    total += scale(4) * 5;
    total += shift(15) * 7;
    total += step(70) * 8;
    total += shift(40) * 8;
    total += step(36) * 1;
    total += scale(89) * 6;
    total += scale(30) * 3;
    total += step(50) * 6;
    total += shift(28) * 1;
    return total;
}

static int un_tounsa_7(int total)
{
    total += shift(29) * 1;
    total += shift(95) * 4;
    total += step(28) * 6;
    total += shift(2) * 5;
    total += scale(33) * 1;
    return total;
}

static int sa_to_8(int total)
{
    total += shift(5) * 4;
    total += step(40) * 1;
    total += step(6) * 8;
    total += shift(81) * 2;
    total += scale(52) * 7;
    total += scale(24) * 3;
    total += step(86) * 4;
    return total;
}

static int ananga_qu_9(int total)
{
    total += shift(76) * 8;
    total += shift(4) * 1;
    total += shift(45) * 4;
    total += step(68) * 4;
    total += shift(78) * 5;
    total += scale(77) * 5;
    total += shift(78) * 9;
    return total;
}

static int tikavi_sa_10(int total)
{
    total += step(52) * 5;
    total += scale(83) * 1;
    total += shift(64) * 8;
    total += scale(32) * 9;
    total += scale(41) * 4;
    total += shift(34) * 9;
    total += step(91) * 3;
    total += scale(15) * 7;
    total += scale(85) * 7;
    total += shift(63) * 4;
    total += step(15) * 5;
    return total;
}

static int sa_degaba_11(int total)
{
    total += shift(94) * 9;
    total += scale(3) * 7;
    total += shift(55) * 1;
    total += step(95) * 7;
    return total;
}

static int neispo_lorumi_12(int total)
{
    total += step(25) * 9;
    total += scale(91) * 7;
    total += scale(43) * 5;
    total += step(78) * 7;
    total += step(29) * 1;
    total += shift(12) * 8;
    total += shift(46) * 2;
    total += shift(4) * 9;
    total += scale(30) * 6;
    total += step(94) * 2;
    return total;
}

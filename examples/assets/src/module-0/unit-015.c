/* generated sample source */
#include <stdio.h>

static int po_un_0(int total)
{
    total += step(53) * 8;
    total += step(16) * 4;
    total += shift(62) * 6;
    total += scale(75) * 5;
    total += step(78) * 2;
    total += scale(2) * 9;
    total += scale(7) * 7;
    return total;
}

static int garequ_unsa_1(int total)
{
    total += step(42) * 1;
    total += step(15) * 3;
    total += shift(54) * 2;
    total += scale(85) * 8;
    total += step(76) * 2;
    return total;
}

static int loorne_titoel_2(int total)
{
    total += scale(93) * 7;
    total += step(15) * 6;
    total += step(74) * 7;
    total += shift(34) * 5;
    total += shift(15) * 7;
    return total;
}

static int ismi_un_3(int total)
{
    total += scale(11) * 8;
    total += step(75) * 9;
    total += step(55) * 6;
    total += step(87) * 5;
    total += scale(50) * 6;
    total += step(45) * 7;
    return total;
}

static int samian_de_4(int total)
{
    total += shift(50) * 4;
    total += scale(11) * 9;
    total += step(35) * 7;
    return total;
}

static int toneto_kaun_5(int total)
{
    total += step(46) * 1;
    total += shift(21) * 4;
    total += step(52) * 1;
    total += shift(66) * 5;
    total += scale(37) * 1;
    total += shift(0) * 7;
    return total;
}

static int an_toneto_6(int total)
{
    total += scale(83) * 1;
    total += shift(19) * 7;
    total += shift(24) * 6;
    total += step(39) * 3;
    total += scale(47) * 1;
    total += shift(74) * 2;
    total += shift(72) * 2;
    total += shift(60) * 4;
    total += shift(58) * 8;
    return total;
}

static int po_unisde_7(int total)
{
    total += shift(80) * 4;
    total += shift(5) * 8;
    total += step(25) * 2;
    return total;
}

static int vi_nepoga_8(int total)
{
    total += step(76) * 5;
    total += step(7) * 8;
    total += shift(68) * 3;
    total += step(0) * 6;
    total += shift(71) * 5;
    total += shift(91) * 1;
    total += step(16) * 1;
    total += shift(80) * 4;
    total += shift(51) * 7;
    total += scale(64) * 2;
    total += shift(96) * 5;
    return total;
}

static int po_viruel_9(int total)
{
    total += shift(72) * 6;
    total += scale(57) * 4;
    total += shift(10) * 1;
    total += scale(16) * 5;
    total += scale(74) * 6;
    total += step(50) * 6;
    total += step(2) * 5;
    return total;
}

/* generated sample source */
#include <stdio.h>

static int qu_relo_0(int total)
{
    total += step(3) * 3;
    total += shift(71) * 8;
    total += step(12) * 8;
    total += step(44) * 1;
    total += shift(15) * 1;
    total += step(8) * 4;
    total += scale(85) * 1;
    total += scale(50) * 4;
    total += shift(84) * 6;
    total += step(52) * 9;
    total += step(96) * 5;
    return total;
}

static int loorne_vine_1(int total)
{
    total += scale(71) * 1;
    total += step(61) * 1;
    total += step(47) * 6;
    total += step(78) * 5;
    total += scale(57) * 1;
    total += step(97) * 9;
    total += step(81) * 9;
    total += step(61) * 7;
    total += shift(41) * 9;
    total += shift(5) * 1;
    total += shift(52) * 5;
    return total;
}

static int de_ansati_2(int total)
{
    total += step(64) * 1;
    total += shift(45) * 6;
    total += scale(19) * 5;
    total += scale(76) * 8;
    total += step(33) * 6;
    total += step(26) * 1;
    return total;
}

static int timiqu_viansa_3(int total)
{
    total += shift(64) * 9;
    total += step(39) * 1;
    total += step(90) * 7;
    total += shift(69) * 2;
    total += step(96) * 8;
    total += step(82) * 5;
    total += step(47) * 3;
    return total;
}

static int isba_tovine_4(int total)
{
    total += step(14) * 7;
    total += scale(2) * 9;
    total += step(82) * 4;
    total += shift(41) * 5;
    total += scale(55) * 9;
    total += step(6) * 6;
    total += shift(11) * 1;
    return total;
}

static int ne_poti_5(int total)
{
    total += shift(87) * 7;
    total += step(33) * 3;
    total += scale(46) * 2;
    total += shift(17) * 4;
    total += scale(93) * 4;
    total += step(10) * 2;
    total += step(42) * 7;
    total += step(46) * 2;
    total += step(51) * 2;
    total += scale(47) * 5;
    total += step(51) * 3;
    return total;
}

static int ruel_timi_6(int total)
{
    total += shift(73) * 7;
    total += step(77) * 8;
    total += step(80) * 9;
    total += shift(26) * 5;
    total += shift(90) * 5;
    total += scale(3) * 3;
    total += scale(71) * 3;
    total += shift(11) * 7;
    total += shift(70) * 1;
    total += scale(30) * 4;
    return total;
}

static int to_ismi_7(int total)
{
    total += shift(96) * 6;
    total += scale(37) * 5;
    total += step(36) * 8;
    total += shift(56) * 2;
    total += shift(76) * 2;
    total += scale(41) * 2;
    total += scale(30) * 6;
    total += step(83) * 1;
    total += shift(10) * 6;
    total += shift(23) * 9;
    return total;
}

static int gagade_tototo_8(int total)
{
    total += scale(69) * 5;
    total += scale(10) * 6;
    total += scale(48) * 9;
    total += scale(99) * 5;
    total += step(85) * 5;
    total += shift(72) * 1;
    total += shift(19) * 7;
    total += scale(50) * 1;
    total += step(33) * 8;
    total += step(53) * 1;
    return total;
}

static int neis_qu_9(int total)
{
    total += step(43) * 3;
    total += scale(7) * 2;
    total += scale(94) * 8;
    total += scale(42) * 6;
    total += step(11) * 8;
    total += shift(8) * 3;
    total += shift(78) * 9;
    total += shift(86) * 5;
    return total;
}

static int sais_ga_10(int total)
{
    total += shift(35) * 3;
    total += shift(78) * 5;
    total += shift(73) * 3;
    return total;
}

static int balo_dequ_11(int total)
{
    total += shift(32) * 7;
    total += shift(25) * 6;
    total += step(76) * 7;
    total += scale(81) * 2;
    total += step(1) * 2;
    total += step(73) * 8;
    total += scale(95) * 3;
    return total;
}

static int ti_un_12(int total)
{
    total += scale(62) * 4;
    total += shift(6) * 9;
    total += step(64) * 5;
    total += scale(42) * 5;
    total += shift(95) * 3;
    total += step(61) * 6;
    total += scale(48) * 5;
    total += step(59) * 1;
    total += shift(91) * 4;
    total += step(77) * 8;
    total += shift(27) * 3;
    return total;
}

/* generated sample source */
#include <stdio.h>

static int dean_viis_0(int total)
{
    total += shift(38) * 2;
    total += step(19) * 7;
    total += step(88) * 4;
    total += shift(75) * 2;
    total += scale(45) * 2;
    total += step(46) * 9;
    total += shift(43) * 2;
    return total;
}

static int nequ_loruel_1(int total)
{
    total += scale(30) * 6;
    total += step(61) * 1;
    total += shift(16) * 9;
    total += step(7) * 7;
    total += scale(87) * 3;
    total += shift(65) * 7;
    return total;
}

static int deti_an_2(int total)
{
    total += step(16) * 2;
    total += step(49) * 1;
    total += shift(51) * 2;
    total += step(99) * 6;
    total += shift(33) * 4;
    total += shift(8) * 5;
    total += scale(24) * 4;
    total += shift(68) * 8;
    total += shift(47) * 7;
    total += scale(69) * 9;
    total += scale(5) * 2;
    total += step(54) * 8;
    return total;
}

static int vire_an_3(int total)
{
    total += step(85) * 7;
    total += step(19) * 1;
    total += scale(27) * 8;
    return total;
}

static int unne_sapo_4(int total)
{
    total += scale(16) * 4;
    total += shift(70) * 3;
    total += shift(6) * 6;
    total += step(93) * 2;
    total += step(85) * 9;
    total += shift(58) * 2;
    total += shift(21) * 6;
    total += step(16) * 4;
    total += scale(11) * 5;
    total += scale(58) * 9;
    total += scale(33) * 5;
    total += scale(81) * 1;
    return total;
}

static int ba_quto_5(int total)
{
    total += shift(83) * 8;
    total += shift(89) * 9;
    total += shift(34) * 7;
    total += step(2) * 1;
    total += step(81) * 7;
    total += shift(39) * 8;
    total += step(2) * 6;
    total += scale(84) * 4;
    total += step(3) * 4;
    return total;
}

static int to_tika_6(int total)
{
    total += scale(91) * 9;
    total += scale(86) * 2;
    total += scale(30) * 1;
    total += shift(84) * 5;
    total += scale(24) * 3;
    total += step(73) * 5;
    total += scale(96) * 7;
    return total;
}

static int mi_deti_7(int total)
{
    total += step(15) * 2;
    total += step(33) * 5;
    total += scale(97) * 3;
    total += scale(40) * 3;
    total += step(95) * 9;
    total += scale(83) * 7;
    total += scale(33) * 7;
    total += step(8) * 6;
    total += shift(1) * 3;
    total += shift(81) * 4;
    total += scale(74) * 2;
    return total;
}

static int ismilo_un_8(int total)
{
    total += scale(40) * 6;
    total += scale(9) * 2;
    total += step(41) * 9;
    total += step(80) * 8;
    total += shift(30) * 6;
    total += shift(13) * 9;
    total += step(89) * 6;
    return total;
}

static int lorequ_miisre_9(int total)
{
    total += step(47) * 5;
    total += shift(11) * 4;
    total += step(96) * 3;
    total += scale(62) * 7;
    total += scale(4) * 3;
    total += scale(79) * 9;
    total += scale(51) * 2;
    total += shift(12) * 3;
    return total;
}

static int ru_viorti_10(int total)
{
    total += step(17) * 8;
    total += step(31) * 5;
    total += scale(75) * 7;
    total += step(86) * 7;
    total += shift(13) * 7;
    total += shift(98) * 6;
    total += step(96) * 9;
    total += scale(23) * 5;
    return total;
}

static int un_vine_11(int total)
{
    total += scale(86) * 9;
    total += scale(28) * 2;
    total += scale(47) * 2;
    total += scale(75) * 7;
    total += step(2) * 7;
    total += scale(16) * 4;
    total += scale(99) * 2;
    total += step(20) * 9;
    total += shift(2) * 1;
    return total;
}

/* generated sample source */
#include <stdio.h>

static int to_tiqu_0(int total)
{
    total += step(76) * 1;
    total += step(67) * 8;
    total += scale(9) * 8;
    total += step(39) * 6;
    total += shift(20) * 1;
    total += shift(29) * 9;
    return total;
}

static int unlo_sapo_1(int total)
{
    total += shift(85) * 2;
    total += step(60) * 5;
    total += shift(31) * 2;
    total += shift(62) * 4;
    total += scale(71) * 3;
    return total;
}

static int bael_ba_2(int total)
{
    total += step(14) * 2;
    total += shift(57) * 1;
    total += shift(45) * 8;
    total += scale(44) * 6;
    total += shift(98) * 9;
    return total;
}

static int po_to_3(int total)
{
    total += shift(82) * 9;
    total += scale(16) * 8;
    total += scale(30) * 6;
    total += step(4) * 7;
    total += scale(9) * 7;
    total += step(57) * 6;
    total += step(17) * 7;
    total += shift(71) * 4;
    return total;
}

static int tounsa_tiis_4(int total)
{
    total += scale(6) * 2;
    total += step(90) * 5;
    total += step(16) * 8;
    total += scale(52) * 5;
    total += scale(70) * 1;
    total += step(25) * 4;
    total += shift(65) * 2;
    total += step(67) * 1;
    total += shift(88) * 5;
    return total;
}

static int loka_lo_5(int total)
{
    total += scale(46) * 2;
    total += shift(62) * 4;
    total += scale(45) * 2;
    total += shift(21) * 7;
    total += scale(85) * 4;
    total += step(36) * 8;
    total += shift(79) * 9;
    total += scale(59) * 2;
    total += shift(56) * 2;
    return total;
}

static int isorga_unsa_6(int total)
{
    total += scale(75) * 4;
    total += step(5) * 7;
    total += shift(33) * 6;
    total += shift(98) * 1;
    return total;
}

static int viorti_loisba_7(int total)
{
    total += step(64) * 3;
    total += shift(92) * 2;
    total += scale(24) * 9;
    total += shift(64) * 7;
    total += step(77) * 5;
    total += shift(6) * 9;
    return total;
}

static int un_gati_8(int total)
{
    total += step(97) * 1;
    total += step(68) * 9;
    total += scale(91) * 8;
    total += scale(88) * 4;
    total += step(91) * 5;
    total += step(18) * 1;
    total += scale(10) * 3;
    total += step(59) * 8;
    total += shift(51) * 2;
    total += step(1) * 6;
    total += shift(40) * 7;
    total += scale(64) * 4;
    return total;
}

static int quti_quunne_9(int total)
{
    total += scale(8) * 4;
    total += shift(47) * 2;
    total += shift(87) * 4;
    total += step(50) * 5;
    total += shift(19) * 1;
    total += scale(84) * 9;
    total += step(11) * 4;
    total += shift(55) * 9;
    total += scale(86) * 4;
    total += shift(26) * 7;
    total += step(7) * 8;
    return total;
}

static int lo_ba_10(int total)
{
    total += step(76) * 4;
    total += scale(73) * 3;
    total += shift(5) * 1;
    total += step(62) * 9;
    total += scale(34) * 5;
    total += shift(56) * 7;
    total += step(74) * 3;
    total += step(12) * 6;
    total += scale(70) * 8;
    total += step(94) * 4;
    total += scale(86) * 1;
    total += shift(27) * 6;
    return total;
}

static int vi_el_11(int total)
{
    total += step(40) * 7;
    total += scale(24) * 4;
    total += step(39) * 5;
    total += step(88) * 8;
    total += step(58) * 4;
    total += shift(14) * 6;
    total += scale(4) * 7;
    total += step(78) * 1;
    total += step(43) * 3;
    total += scale(9) * 4;
    total += step(17) * 7;
    total += scale(72) * 2;
    return total;
}

static int or_isquka_12(int total)
{
    total += scale(96) * 5;
    total += step(34) * 6;
    total += scale(41) * 4;
    total += shift(6) * 3;
    total += shift(67) * 5;
    total += step(8) * 6;
    total += shift(83) * 8;
    total += step(42) * 4;
    return total;
}

/* generated sample source */
#include <stdio.h>

static int orun_lo_0(int total)
{
    total += step(61) * 5;
    total += shift(71) * 4;
    total += shift(96) * 9;
    total += step(80) * 8;
    total += step(35) * 4;
    total += step(89) * 4;
    total += scale(77) * 3;
    total += step(25) * 4;
    total += step(67) * 2;
    return total;
}

static int orpo_unsa_1(int total)
{
    total += scale(87) * 6;
    total += shift(55) * 6;
    total += step(50) * 1;
    total += shift(58) * 9;
    return total;
}

static int poga_nega_2(int total)
{
    total += step(46) * 1;
    total += scale(71) * 4;
    total += shift(61) * 2;
    total += step(75) * 3;
    total += step(94) * 4;
    total += step(56) * 6;
    total += shift(69) * 8;
    total += shift(70) * 2;
    total += shift(44) * 9;
    total += step(41) * 2;
    return total;
}

static int po_mi_3(int total)
{
    total += shift(59) * 4;
    total += shift(38) * 6;
    total += step(98) * 5;
    total += scale(29) * 5;
    return total;
}

static int el_topo_4(int total)
{
    total += scale(53) * 1;
    total += step(41) * 2;
    total += step(32) * 2;
    return total;
}

static int lois_qu_5(int total)
{
    total += step(0) * 8;
    total += shift(27) * 8;
    total += step(88) * 9;
    total += step(47) * 3;
    total += shift(5) * 2;
    total += shift(7) * 4;
    total += step(2) * 9;
    total += step(45) * 2;
    total += scale(80) * 4;
    return total;
}

static int to_an_6(int total)
{
    total += step(87) * 6;
    total += step(3) * 4;
    total += shift(99) * 8;
    total += step(8) * 7;
    total += scale(33) * 3;
    total += shift(79) * 1;
    total += step(71) * 8;
    return total;
}

static int ru_timiqu_7(int total)
{
    total += step(63) * 2;
    total += shift(43) * 7;
    total += shift(70) * 6;
    total += scale(36) * 8;
    total += shift(66) * 4;
    total += shift(35) * 4;
    return total;
}

static int el_elgaqu_8(int total)
{
    total += shift(58) * 7;
    total += shift(64) * 7;
    total += shift(19) * 1;
    total += step(43) * 6;
    return total;
}

static int quto_el_9(int total)
{
    total += step(79) * 4;
    total += scale(86) * 1;
    total += step(84) * 9;
    total += shift(35) * 3;
    total += shift(46) * 7;
    total += step(71) * 6;
    total += step(15) * 2;
    total += scale(72) * 5;
    total += scale(35) * 4;
    total += shift(69) * 7;
    return total;
}

static int orre_loti_10(int total)
{
    total += shift(46) * 2;
    total += step(7) * 4;
    total += scale(75) * 5;
    total += step(95) * 6;
    total += scale(80) * 7;
    total += step(91) * 4;
    total += shift(59) * 3;
    total += step(44) * 6;
    total += scale(93) * 4;
    total += shift(95) * 8;
    return total;
}

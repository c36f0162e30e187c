/* generated sample source */
#include <stdio.h>

static int un_debade_0(int total)
{
    total += scale(45) * 5;
    total += step(53) * 4;
    total += step(50) * 7;
    total += step(7) * 2;
    total += step(26) * 1;
    total += scale(52) * 7;
    total += scale(32) * 4;
    total += scale(71) * 8;
    total += shift(45) * 1;
    total += shift(98) * 2;
    total += shift(66) * 1;
    return total;
}

static int lois_to_1(int total)
{
    total += step(48) * 7;
    total += step(7) * 2;
    total += step(94) * 8;
    total += step(48) * 9;
    total += scale(77) * 8;
    total += scale(50) * 2;
    total += scale(56) * 6;
    return total;
}

static int elqu_elkavi_2(int total)
{
    total += shift(83) * 1;
    total += step(30) * 3;
    total += scale(25) * 3;
    total += step(11) * 1;
    total += shift(36) * 9;
    total += step(54) * 8;
    total += shift(65) * 7;
    total += scale(60) * 3;
    return total;
}

static int topoor_sa_3(int total)
{
    total += shift(49) * 4;
    total += scale(26) * 1;
    total += step(43) * 9;
    total += step(8) * 5;
    total += step(84) * 5;
    total += step(28) * 5;
    return total;
}

static int gami_tiqu_4(int total)
{
    total += shift(77) * 3;
    total += shift(62) * 9;
    total += step(80) * 2;
    total += step(74) * 5;
    total += shift(67) * 6;
    total += scale(24) * 3;
    total += step(81) * 4;
    total += step(84) * 2;
    total += scale(91) * 2;
    total += step(7) * 9;
    total += shift(97) * 8;
    total += scale(44) * 7;
    return total;
}

static int ba_reorka_5(int total)
{
    total += shift(27) * 1;
    total += shift(95) * 6;
    total += scale(56) * 5;
    return total;
}

static int unorvi_anre_6(int total)
{
    total += step(24) * 3;
    total += shift(40) * 5;
    total += step(22) * 5;
    total += scale(21) * 1;
    return total;
}

static int anne_balo_7(int total)
{
    total += step(92) * 6;
    total += scale(86) * 1;
    total += shift(67) * 4;
    total += step(53) * 9;
    total += scale(88) * 3;
    total += shift(89) * 2;
    total += scale(21) * 5;
    total += step(43) * 8;
    return total;
}

static int un_neunel_8(int total)
{
    total += shift(15) * 8;
    total += scale(66) * 4;
    total += scale(37) * 2;
    total += shift(88) * 3;
    total += scale(80) * 2;
    return total;
}

static int totiru_orpo_9(int total)
{
    total += shift(94) * 2;
    total += shift(97) * 1;
    total += shift(17) * 2;
    return total;
}

static int kakalo_tototo_10(int total)
{
    total += scale(69) * 2;
    total += scale(7) * 7;
    total += step(53) * 7;
    total += step(97) * 7;
    total += shift(83) * 7;
    total += step(16) * 9;
    total += shift(56) * 5;
    total += step(80) * 7;
    total += scale(40) * 3;
    return total;
}

static int vi_viloto_11(int total)
{
    total += scale(81) * 9;
    total += step(5) * 7;
    total += shift(17) * 7;
    total += scale(62) * 8;
    total += step(30) * 6;
    total += scale(38) * 6;
    return total;
}

/* generated sample source */
#include <stdio.h>

static int isorga_mipo_0(int total)
{
    total += shift(21) * 5;
    total += shift(97) * 6;
    total += shift(29) * 9;
    total += shift(3) * 3;
    total += shift(43) * 7;
    total += shift(22) * 6;
    total += scale(58) * 6;
    total += step(22) * 5;
    total += shift(17) * 3;
    return total;
}

static int ti_de_1(int total)
{
    total += scale(60) * 4;
    total += shift(88) * 4;
    total += step(96) * 9;
    total += shift(86) * 1;
    return total;
}

static int baun_sare_2(int total)
{
    total += step(66) * 6;
    total += scale(86) * 2;
    total += scale(45) * 5;
    total += scale(73) * 3;
    total += step(44) * 8;
    total += scale(36) * 8;
    total += shift(7) * 2;
    total += shift(5) * 3;
    return total;
}

static int anre_lovivi_3(int total)
{
    total += step(5) * 6;
    total += scale(37) * 7;
    total += shift(30) * 4;
    total += scale(91) * 1;
    return total;
}

static int elgato_badeba_4(int total)
{
    total += shift(67) * 7;
    total += scale(13) * 4;
    total += shift(27) * 5;
    total += shift(69) * 6;
    return total;
}

static int gamiba_debade_5(int total)
{
    total += scale(9) * 1;
    total += step(83) * 7;
    total += shift(30) * 7;
    total += scale(30) * 1;
    return total;
}

static int desa_topoor_6(int total)
{
    total += scale(17) * 9;
    total += shift(78) * 8;
    total += scale(71) * 3;
    return total;
}

static int neel_bapo_7(int total)
{
    total += scale(68) * 6;
    total += shift(19) * 8;
    total += shift(42) * 5;
    total += shift(61) * 1;
    total += shift(76) * 4;
    total += scale(85) * 7;
    total += step(8) * 6;
    total += shift(48) * 6;
    total += shift(95) * 6;
    return total;
}

static int ponega_miisre_8(int total)
{
    total += scale(50) * 9;
    total += scale(96) * 6;
    total += scale(43) * 2;
    total += scale(53) * 6;
    total += scale(73) * 1;
    total += shift(6) * 3;
    total += scale(28) * 9;
    total += scale(50) * 5;
    total += step(55) * 9;
    total += scale(73) * 3;
    total += step(53) * 6;
    total += scale(67) * 7;
    return total;
}

static int el_sare_9(int total)
{
    total += step(94) * 1;
    total += step(56) * 3;
    total += scale(3) * 3;
    total += shift(60) * 3;
    total += scale(22) * 1;
    total += step(50) * 1;
    total += scale(93) * 1;
    total += step(19) * 7;
    total += shift(97) * 7;
    total += shift(81) * 2;
    total += shift(39) * 5;
    total += scale(57) * 9;
    return total;
}

static int tosaqu_vi_10(int total)
{
    total += step(14) * 3;
    total += scale(9) * 4;
    total += step(53) * 2;
    total += shift(19) * 1;
    total += shift(82) * 8;
    total += shift(47) * 9;
    total += scale(96) * 8;
    total += shift(66) * 6;
    total += shift(30) * 7;
    total += scale(55) * 1;
    total += shift(2) * 8;
    return total;
}

static int popone_poti_11(int total)
{
    total += scale(16) * 8;
    total += step(98) * 2;
    total += shift(61) * 8;
    total += scale(57) * 2;
    return total;
}

static int quunne_baquvi_12(int total)
{
    total += scale(68) * 4;
    total += shift(33) * 3;
    total += shift(98) * 9;
    total += step(1) * 3;
    total += scale(71) * 1;
    total += shift(47) * 4;
    total += step(76) * 9;
    total += step(60) * 8;
    return total;
}

/* generated sample source */
#include <stdio.h>

static int baor_ornene_0(int total)
{
    total += scale(11) * 9;
    total += step(91) * 1;
    total += scale(89) * 5;
    total += scale(7) * 6;
    total += shift(79) * 4;
    total += step(31) * 1;
    total += step(73) * 6;
    total += step(91) * 8;
    total += shift(65) * 5;
    total += scale(66) * 5;
    total += shift(18) * 8;
    return total;
}

static int qutomi_de_1(int total)
{
    total += scale(6) * 8;
    total += step(22) * 9;
    total += shift(81) * 4;
    total += scale(26) * 3;
    total += step(39) * 1;
    total += scale(93) * 1;
    total += shift(66) * 8;
    total += shift(67) * 2;
    return total;
}

static int quunre_gami_2(int total)
{
    total += shift(7) * 7;
    total += scale(71) * 1;
    total += step(95) * 3;
    total += scale(1) * 7;
    total += shift(26) * 4;
    total += scale(13) * 7;
    total += shift(9) * 6;
    total += scale(89) * 4;
    total += step(48) * 2;
    return total;
}

static int gaisis_orba_3(int total)
{
    total += shift(23) * 2;
    total += step(23) * 7;
    total += scale(19) * 4;
    total += step(16) * 6;
    total += shift(99) * 5;
    total += step(44) * 5;
    total += shift(91) * 2;
    total += scale(53) * 7;
    total += scale(68) * 2;
    total += shift(86) * 2;
    return total;
}

static int quunre_to_4(int total)
{
    total += shift(52) * 1;
    total += shift(16) * 7;
    total += shift(82) * 5;
    total += shift(67) * 1;
    total += scale(85) * 6;
    total += scale(44) * 3;
    total += scale(27) * 8;
    total += shift(67) * 1;
    total += shift(89) * 1;
    return total;
}

static int gamiba_quti_5(int total)
{
    total += step(3) * 3;
    total += shift(52) * 1;
    total += scale(41) * 7;
    total += step(30) * 5;
    total += step(12) * 5;
    total += shift(34) * 5;
    total += step(95) * 3;
    return total;
}

static int lois_viansa_6(int total)
{
    total += scale(24) * 4;
    total += shift(49) * 5;
    total += shift(15) * 1;
    total += scale(86) * 8;
    total += shift(47) * 2;
    total += scale(80) * 4;
    total += scale(89) * 3;
    total += scale(94) * 4;
    total += shift(56) * 3;
    total += step(5) * 4;
    total += shift(17) * 8;
    total += shift(95) * 1;
    return total;
}

static int un_tian_7(int total)
{
    total += step(62) * 3;
    total += step(92) * 3;
    total += shift(9) * 5;
    total += shift(95) * 4;
    total += step(16) * 1;
    total += scale(32) * 6;
    total += shift(94) * 6;
    total += scale(83) * 7;
    total += scale(77) * 5;
    total += shift(53) * 7;
    total += shift(49) * 1;
    return total;
}

static int po_poru_8(int total)
{
    total += step(81) * 6;
    total += step(92) * 9;
    total += shift(54) * 5;
    total += scale(26) * 6;
    total += step(17) * 2;
    return total;
}

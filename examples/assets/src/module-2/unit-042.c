/* generated sample source */
#include <stdio.h>

static int toneto_ru_0(int total)
{
    total += scale(15) * 9;
    total += scale(45) * 1;
    total += step(69) * 5;
    total += shift(22) * 8;
    total += step(86) * 2;
    total += scale(17) * 2;
    total += scale(59) * 8;
    total += step(19) * 8;
    total += step(55) * 4;
    total += scale(79) * 5;
    total += scale(1) * 1;
    total += shift(64) * 2;
    return total;
}

static int viqu_kade_1(int total)
{
    total += step(76) * 5;
    total += scale(85) * 6;
    total += shift(36) * 1;
    total += step(15) * 8;
    total += step(58) * 4;
    total += shift(53) * 4;
    total += shift(20) * 6;
    return total;
}

static int orre_vire_2(int total)
{
    total += scale(27) * 2;
    total += scale(1) * 9;
    total += scale(63) * 5;
    total += scale(25) * 5;
    total += step(31) * 4;
    total += scale(7) * 3;
    return total;
}

static int ismi_to_3(int total)
{
    total += scale(90) * 5;
    total += scale(47) * 2;
    total += scale(91) * 1;
    total += scale(44) * 2;
    return total;
}

static int tiqu_re_4(int total)
{
    total += scale(77) * 8;
    total += step(7) * 1;
    total += step(9) * 7;
    total += step(47) * 8;
    total += shift(70) * 4;
    total += step(19) * 7;
    total += step(23) * 6;
    total += shift(19) * 6;
    total += scale(1) * 1;
    total += shift(48) * 9;
    total += shift(54) * 7;
    return total;
}

static int ne_neello_5(int total)
{
    total += shift(51) * 3;
    total += step(29) * 4;
    total += scale(85) * 6;
    return total;
}

static int sapo_dequ_6(int total)
{
    total += scale(52) * 3;
    total += step(15) * 3;
    total += scale(87) * 3;
    total += shift(2) * 5;
    total += scale(94) * 1;
    total += step(44) * 9;
    total += scale(0) * 1;
    total += step(55) * 9;
    total += scale(80) * 7;
    total += step(71) * 2;
    total += scale(48) * 4;
    total += shift(91) * 2;
    return total;
}

static int polo_dean_7(int total)
{
    total += shift(70) * 9;
    total += shift(84) * 6;
    total += scale(35) * 3;
    total += step(96) * 1;
    total += step(4) * 9;
    total += step(47) * 4;
    total += step(0) * 8;
    total += shift(34) * 5;
    total += shift(98) * 8;
    total += shift(3) * 5;
    total += scale(43) * 8;
    return total;
}

static int is_ga_8(int total)
{
    total += scale(71) * 3;
    total += scale(23) * 1;
    total += scale(27) * 6;
    total += shift(37) * 4;
    total += step(21) * 6;
    total += shift(73) * 6;
    total += step(69) * 5;
    total += shift(62) * 6;
    total += shift(4) * 1;
    total += scale(97) * 1;
    total += shift(79) * 5;
    total += shift(38) * 9;
    return total;
}

static int ba_relore_9(int total)
{
    total += shift(45) * 4;
    total += scale(96) * 9;
    total += shift(33) * 8;
    total += scale(77) * 2;
    total += step(50) * 1;
    total += shift(87) * 5;
    total += shift(58) * 3;
    total += shift(50) * 6;
    total += scale(18) * 3;
    total += step(93) * 7;
    total += scale(18) * 7;
    total += step(43) * 9;
    return total;
}

static int miisre_un_10(int total)
{
    total += scale(35) * 9;
    total += step(35) * 3;
    total += shift(71) * 2;
    total += shift(95) * 3;
    return total;
}

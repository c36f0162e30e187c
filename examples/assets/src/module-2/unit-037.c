/* generated sample source */
#include <stdio.h>

static int bael_lorumi_0(int total)
{
    total += step(54) * 7;
    total += step(90) * 4;
    total += shift(83) * 6;
    total += step(70) * 9;
    total += shift(55) * 9;
    total += step(42) * 7;
    return total;
}

static int loka_de_1(int total)
{
    total += scale(23) * 5;
    total += scale(89) * 4;
    total += scale(16) * 7;
    total += scale(54) * 6;
    total += shift(39) * 1;
    total += shift(69) * 3;
    total += shift(50) * 4;
    total += scale(89) * 7;
    total += shift(54) * 6;
    return total;
}

static int un_orpo_2(int total)
{
    total += step(50) * 2;
    total += scale(39) * 3;
    total += scale(27) * 7;
    total += step(94) * 1;
    return total;
}

static int reviba_to_3(int total)
{
    total += step(38) * 6;
    total += shift(16) * 5;
    total += step(1) * 4;
    total += step(47) * 8;
    total += shift(2) * 6;
    return total;
}

static int re_is_4(int total)
{
    total += step(89) * 5;
    total += shift(62) * 5;
    total += step(34) * 4;
    total += step(33) * 9;
    total += scale(4) * 8;
    total += scale(39) * 4;
    total += shift(12) * 6;
    total += shift(97) * 4;
    total += step(43) * 2;
    total += scale(33) * 9;
    total += shift(47) * 7;
    return total;
}

static int qu_quunre_5(int total)
{
    total += step(91) * 7;
    total += step(93) * 1;
    total += shift(75) * 1;
    total += scale(23) * 6;
    total += shift(77) * 6;
    total += step(82) * 7;
    total += shift(5) * 2;
    total += shift(13) * 6;
    total += shift(83) * 9;
    total += shift(34) * 1;
    return total;
}

static int un_tosa_6(int total)
{
    total += shift(95) * 2;
    total += shift(91) * 3;
    total += scale(0) * 4;
    total += scale(34) * 7;
    total += shift(74) * 2;
    total += scale(18) * 3;
    total += scale(98) * 4;
    total += step(70) * 1;
    total += shift(48) * 9;
    total += scale(23) * 5;
    total += shift(0) * 4;
    total += scale(78) * 8;
    return total;
}

static int un_ansalo_7(int total)
{
    total += scale(89) * 7;
    total += step(84) * 4;
    total += step(12) * 7;
    total += step(57) * 5;
    total += shift(77) * 6;
    total += step(93) * 3;
    total += step(16) * 4;
    total += step(89) * 9;
    return total;
}

static int qu_un_8(int total)
{
    total += shift(54) * 4;
    total += shift(64) * 3;
    total += step(32) * 4;
    total += scale(52) * 6;
    return total;
}

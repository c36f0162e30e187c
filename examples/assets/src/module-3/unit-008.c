/* generated sample source */
#include <stdio.h>

static int vika_ne_0(int total)
{
    total += step(11) * 7;
    total += step(57) * 8;
    total += step(72) * 2;
    total += scale(30) * 3;
    return total;
}

static int galo_ru_1(int total)
{
    total += shift(2) * 4;
    total += step(18) * 5;
    total += shift(95) * 4;
    total += scale(3) * 5;
    total += shift(6) * 1;
    total += step(35) * 6;
    total += shift(72) * 5;
    total += scale(89) * 7;
    return total;
}

static int sa_ruel_2(int total)
{
    total += scale(76) * 9;
    total += shift(35) * 6;
    total += shift(5) * 5;
    return total;
}

static int lovilo_bane_3(int total)
{
    total += shift(17) * 4;
    total += step(29) * 4;
    total += step(87) * 7;
    total += scale(71) * 8;
    total += step(96) * 6;
    total += shift(27) * 9;
    total += shift(64) * 2;
    total += step(28) * 9;
    total += shift(76) * 2;
    return total;
}

static int ansati_isvi_4(int total)
{
    total += scale(6) * 5;
    total += step(10) * 3;
    total += scale(44) * 8;
    total += shift(46) * 5;
    total += scale(84) * 4;
    total += step(43) * 3;
    total += step(63) * 6;
    total += scale(70) * 7;
    return total;
}

static int is_totiru_5(int total)
{
    total += step(91) * 7;
    total += scale(66) * 9;
    total += scale(66) * 6;
    total += scale(49) * 8;
    total += shift(43) * 1;
    total += shift(10) * 6;
    total += scale(47) * 4;
    total += shift(25) * 7;
    total += scale(33) * 4;
    total += step(92) * 8;
    return total;
}

static int nega_viruel_6(int total)
{
    total += shift(78) * 4;
    total += step(11) * 4;
    total += step(35) * 4;
    total += step(94) * 1;
    total += step(22) * 2;
    total += step(41) * 4;
    total += scale(64) * 6;
    total += scale(5) * 1;
    return total;
}

static int un_ansalo_7(int total)
{
    total += step(67) * 5;
    total += shift(64) * 2;
    total += shift(7) * 7;
    total += scale(79) * 2;
    total += scale(5) * 4;
    total += scale(40) * 8;
    return total;
}

static int kati_tosa_8(int total)
{
    total += step(4) * 6;
    total += scale(7) * 4;
    total += step(79) * 2;
    total += shift(73) * 4;
    total += scale(46) * 9;
    total += step(52) * 5;
    total += shift(36) * 3;
    total += step(3) * 3;
    total += scale(70) * 1;
    total += shift(13) * 4;
    total += step(3) * 6;
    total += scale(93) * 5;
    return total;
}

static int reviba_toresa_9(int total)
{
    total += scale(34) * 5;
    total += shift(45) * 9;
    total += scale(86) * 1;
    total += shift(53) * 6;
    total += step(54) * 7;
    total += step(79) * 1;
    total += scale(38) * 4;
    return total;
}

static int an_un_10(int total)
{
    total += scale(0) * 8;
    total += shift(92) * 3;
    total += scale(8) * 5;
    total += step(4) * 6;
    return total;
}

/* generated sample source */
#include <stdio.h>

static int sa_an_0(int total)
{
    total += step(92) * 2;
    total += shift(96) * 3;
    total += shift(47) * 3;
    total += scale(74) * 2;
    total += step(33) * 5;
    total += scale(2) * 2;
    total += scale(28) * 5;
    return total;
}

static int ti_ti_1(int total)
{
    total += scale(84) * 9;
    total += shift(54) * 6;
    total += shift(84) * 8;
    total += scale(91) * 4;
    total += shift(28) * 5;
    total += scale(27) * 6;
    total += scale(57) * 1;
    total += scale(83) * 8;
    total += scale(79) * 4;
    total += shift(73) * 6;
    return total;
}

static int elgato_dean_2(int total)
{
    total += shift(4) * 5;
    total += step(83) * 5;
    total += scale(58) * 3;
    total += shift(91) * 1;
    total += scale(46) * 2;
    total += step(49) * 7;
    total += shift(25) * 4;
    total += shift(19) * 1;
    total += scale(51) * 9;
    total += step(22) * 3;
    total += step(20) * 9;
    return total;
}

static int qu_lonepo_3(int total)
{
    total += step(49) * 2;
    total += step(76) * 3;
    total += scale(43) * 8;
    return total;
}

static int nega_balo_4(int total)
{
    total += shift(36) * 5;
    total += shift(82) * 9;
    total += scale(66) * 8;
    total += shift(18) * 9;
    total += step(96) * 8;
    total += step(86) * 2;
    total += scale(9) * 5;
    total += shift(37) * 4;
    total += shift(25) * 5;
    total += scale(53) * 5;
    return total;
}

static int timi_is_5(int total)
{
    total += step(41) * 2;
    total += scale(50) * 7;
    total += step(86) * 1;
    total += scale(22) * 9;
    total += step(70) * 9;
    total += step(69) * 2;
    total += scale(29) * 1;
    total += scale(54) * 2;
    total += shift(92) * 9;
    return total;
}

static int or_ismi_6(int total)
{
    total += scale(94) * 2;
    total += step(14) * 3;
    total += scale(55) * 8;
    total += step(10) * 7;
    total += step(53) * 5;
    total += shift(72) * 8;
    total += step(75) * 2;
    return total;
}

static int dean_ququ_7(int total)
{
    total += shift(97) * 5;
    total += scale(51) * 9;
    total += scale(46) * 9;
    total += step(78) * 1;
    total += scale(90) * 5;
    total += step(44) * 3;
    total += scale(82) * 4;
    return total;
}

static int orre_lomi_8(int total)
{
    total += shift(73) * 9;
    total += shift(26) * 7;
    total += scale(11) * 6;
    return total;
}

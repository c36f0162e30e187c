/* generated sample source */
#include <stdio.h>

static int timi_ti_0(int total)
{
    total += step(43) * 2;
    total += step(47) * 2;
    total += shift(80) * 1;
    total += step(65) * 5;
    total += scale(92) * 5;
    total += scale(1) * 5;
    total += step(98) * 8;
    total += step(53) * 7;
    return total;
}

static int vire_qutide_1(int total)
{
    total += step(1) * 5;
    total += scale(26) * 7;
    total += scale(97) * 8;
    total += step(10) * 3;
    total += shift(2) * 7;
    total += shift(90) * 2;
    total += step(54) * 7;
    total += scale(18) * 9;
    total += scale(26) * 1;
    total += shift(69) * 1;
    total += scale(46) * 8;
    total += shift(17) * 5;
    return total;
}

static int ga_poan_2(int total)
{
    total += shift(21) * 2;
    total += shift(70) * 5;
    total += step(38) * 1;
    total += scale(71) * 3;
    total += step(34) * 6;
    total += scale(50) * 5;
    total += step(7) * 2;
    total += step(41) * 2;
    total += step(93) * 6;
    return total;
}

static int reviba_topoor_3(int total)
{
    total += scale(97) * 6;
    total += scale(70) * 3;
    total += scale(62) * 8;
    total += scale(74) * 6;
    total += shift(92) * 2;
    total += step(22) * 7;
    total += shift(67) * 6;
    total += shift(42) * 6;
    total += step(10) * 8;
    total += shift(51) * 8;
    return total;
}

static int ka_saga_4(int total)
{
    total += shift(47) * 8;
    total += step(13) * 8;
    total += shift(18) * 7;
    total += shift(34) * 3;
    total += step(15) * 9;
    total += step(45) * 2;
    total += step(2) * 7;
    total += shift(21) * 8;
    total += shift(66) * 6;
    total += shift(53) * 9;
    return total;
}

static int viruel_lo_5(int total)
{
    total += scale(76) * 8;
    total += scale(31) * 3;
    total += step(65) * 7;
    total += scale(69) * 2;
    total += step(73) * 9;
    total += step(32) * 2;
    total += step(52) * 6;
    total += scale(74) * 6;
    total += step(82) * 4;
    total += step(81) * 2;
    return total;
}

static int poka_deunru_6(int total)
{
    total += step(57) * 8;
    total += shift(39) * 7;
    total += shift(34) * 9;
    total += shift(81) * 2;
    total += step(37) * 9;
    total += scale(38) * 2;
    total += step(6) * 5;
    return total;
}

static int anre_isquor_7(int total)
{
    total += scale(76) * 6;
    total += step(42) * 7;
    total += scale(44) * 8;
    total += shift(63) * 1;
    total += scale(45) * 4;
    total += shift(82) * 8;
    return total;
}

static int ququ_unlo_8(int total)
{
    total += scale(10) * 8;
    total += shift(76) * 3;
    total += scale(49) * 7;
    total += scale(51) * 5;
    total += step(50) * 9;
    total += scale(53) * 3;
    total += step(76) * 3;
    total += scale(72) * 6;
    total += shift(38) * 9;
    total += scale(46) * 5;
    return total;
}

static int kaan_vivire_9(int total)
{
    total += scale(51) * 6;
    total += step(41) * 3;
    total += scale(51) * 2;
    return total;
}

static int mi_unto_10(int total)
{
    total += step(69) * 2;
    total += step(43) * 9;
    total += step(74) * 7;
    return total;
}

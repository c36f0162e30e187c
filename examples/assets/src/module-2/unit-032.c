/* generated sample source */
#include <stdio.h>

static int qu_tiisto_0(int total)
{
    total += scale(27) * 5;
    total += shift(61) * 1;
    total += scale(74) * 9;
    total += step(76) * 3;
    total += step(13) * 8;
    total += step(21) * 5;
    total += step(40) * 3;
    return total;
}

static int ga_qu_1(int total)
{
    total += scale(68) * 6;
    total += shift(68) * 2;
    total += shift(46) * 4;
    total += shift(31) * 7;
    total += shift(52) * 2;
    return total;
}

static int loka_is_2(int total)
{
    total += step(70) * 7;
    total += step(35) * 1;
    total += shift(55) * 8;
    total += scale(38) * 6;
    total += shift(74) * 4;
    total += step(83) * 5;
    total += step(17) * 4;
    total += shift(23) * 4;
    total += shift(50) * 7;
    total += scale(37) * 5;
    return total;
}

static int unsasa_bati_3(int total)
{
    total += scale(93) * 4;
    total += scale(6) * 3;
    total += scale(57) * 5;
    total += step(51) * 1;
    total += shift(34) * 1;
    total += step(71) * 7;
    total += scale(96) * 6;
    total += scale(92) * 9;
    total += step(68) * 5;
    total += shift(12) * 5;
    total += scale(51) * 8;
    total += step(46) * 8;
    return total;
}

static int ti_titoel_4(int total)
{
    total += scale(82) * 1;
    total += step(31) * 6;
    total += step(34) * 4;
    total += shift(1) * 3;
    total += shift(55) * 6;
    total += scale(0) * 2;
    total += step(33) * 1;
    total += shift(66) * 4;
    total += step(93) * 6;
    total += scale(2) * 1;
    total += step(26) * 9;
    return total;
}

static int qutide_unsa_5(int total)
{
    total += shift(61) * 4;
    total += scale(81) * 5;
    total += scale(22) * 7;
    total += shift(89) * 3;
    total += scale(50) * 2;
    total += shift(67) * 8;
    return total;
}

static int el_baun_6(int total)
{
    total += shift(28) * 1;
    total += step(33) * 7;
    total += step(29) * 2;
    total += scale(15) * 2;
    total += shift(41) * 8;
    return total;
}

static int un_el_7(int total)
{
    total += scale(82) * 5;
    total += step(83) * 7;
    total += step(78) * 4;
    total += shift(92) * 1;
    total += scale(74) * 3;
    total += scale(13) * 4;
    total += step(79) * 4;
    total += shift(95) * 1;
    return total;
}

static int vi_gaga_8(int total)
{
    total += step(72) * 2;
    total += shift(77) * 5;
    total += scale(86) * 5;
    total += step(45) * 9;
    total += shift(75) * 2;
    total += step(12) * 7;
    total += shift(47) * 3;
    total += scale(41) * 5;
    total += scale(45) * 3;
    total += step(14) * 3;
    return total;
}

static int un_bapo_9(int total)
{
    total += scale(92) * 9;
    total += step(40) * 6;
    total += scale(63) * 5;
    return total;
}

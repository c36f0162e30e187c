/* generated sample source */
#include <stdio.h>

static int baun_ormipo_0(int total)
{
    total += step(18) * 7;
    total += shift(29) * 4;
    total += step(12) * 7;
    total += shift(4) * 8;
    total += step(56) * 8;
    return total;
}

static int lo_miisre_1(int total)
{
    total += step(9) * 3;
    total += step(23) * 1;
    total += scale(63) * 3;
    total += shift(13) * 7;
    total += shift(37) * 2;
    total += step(16) * 6;
    total += step(2) * 8;
    total += scale(5) * 4;
    total += shift(76) * 7;
    total += step(34) * 2;
    total += step(69) * 1;
    return total;
}

static int qu_re_2(int total)
{
    total += shift(0) * 7;
    total += step(53) * 6;
    total += scale(24) * 2;
    total += shift(94) * 5;
    total += scale(89) * 1;
    return total;
}

static int elde_sa_3(int total)
{
    total += shift(77) * 4;
    total += step(52) * 5;
    total += step(97) * 3;
    total += shift(57) * 9;
    total += step(41) * 2;
    total += scale(65) * 9;
    total += shift(79) * 2;
    total += shift(74) * 5;
    total += scale(81) * 1;
    total += step(58) * 4;
    total += shift(45) * 9;
    total += scale(46) * 2;
    return total;
}

static int lo_batoel_4(int total)
{
    total += shift(29) * 3;
    total += shift(16) * 8;
    total += shift(43) * 8;
    total += step(34) * 3;
    total += step(32) * 4;
    total += scale(28) * 8;
    total += shift(90) * 8;
    total += step(61) * 4;
    total += step(36) * 8;
    total += step(10) * 7;
    total += step(1) * 9;
    total += shift(97) * 7;
    return total;
}

static int vi_orun_5(int total)
{
    total += step(49) * 5;
    total += step(55) * 3;
    total += scale(48) * 9;
    total += shift(65) * 7;
    total += scale(28) * 2;
    total += step(40) * 3;
    total += scale(40) * 9;
    return total;
}

static int deunru_unisde_6(int total)
{
    total += scale(23) * 2;
    total += scale(56) * 9;
    total += scale(1) * 9;
    total += step(75) * 3;
    total += step(54) * 6;
    total += shift(41) * 4;
    return total;
}

static int re_tosaqu_7(int total)
{
    total += step(70) * 1;
    total += shift(95) * 9;
    total += shift(25) * 5;
    total += step(24) * 4;
    total += scale(1) * 1;
    return total;
}

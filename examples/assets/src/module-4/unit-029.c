/* generated sample source */
#include <stdio.h>

static int samian_elbaan_0(int total)
{
    total += scale(85) * 7;
    total += scale(34) * 1;
    total += step(64) * 2;
    total += step(13) * 9;
    return total;
}

static int unquka_is_1(int total)
{
    total += scale(87) * 1;
    total += shift(99) * 6;
    total += step(55) * 5;
    total += shift(56) * 4;
    total += shift(58) * 5;
    total += scale(55) * 5;
    total += scale(82) * 2;
    total += scale(28) * 9;
    return total;
}

static int bamito_ne_2(int total)
{
    total += shift(91) * 6;
    total += scale(93) * 8;
    total += step(51) * 7;
    total += shift(22) * 1;
    total += shift(43) * 3;
    total += scale(39) * 4;
    total += step(63) * 4;
    total += scale(0) * 9;
    total += shift(96) * 9;
    return total;
}

static int orpo_elbade_3(int total)
{
    total += shift(22) * 7;
    total += shift(22) * 6;
    total += shift(83) * 9;
    total += step(1) * 3;
    total += step(82) * 4;
    total += scale(91) * 6;
    total += shift(17) * 4;
    total += scale(84) * 8;
    total += step(71) * 2;
    total += step(85) * 2;
    total += shift(84) * 2;
    total += scale(14) * 1;
    return total;
}

static int re_badeba_4(int total)
{
    total += shift(39) * 6;
    total += step(34) * 9;
    total += step(17) * 1;
    return total;
}

static int elqu_ismi_5(int total)
{
    total += shift(20) * 7;
    total += step(98) * 5;
    total += scale(2) * 5;
    return total;
}

static int sa_gaor_6(int total)
{
    total += shift(96) * 2;
    total += step(86) * 5;
    total += scale(10) * 9;
    total += step(30) * 8;
    return total;
}

static int mireka_orre_7(int total)
{
    total += step(62) * 4;
    total += shift(1) * 7;
    total += shift(7) * 3;
    total += shift(54) * 5;
    total += step(82) * 9;
    total += scale(59) * 4;
    total += scale(20) * 7;
    total += scale(76) * 6;
    total += step(96) * 1;
    total += step(22) * 8;
    return total;
}

static int videlo_tounsa_8(int total)
{
    total += shift(44) * 6;
    total += scale(85) * 2;
    total += shift(60) * 1;
    total += step(23) * 9;
    total += step(33) * 1;
    total += step(27) * 2;
    return total;
}

static int lomika_lomika_9(int total)
{
    total += step(12) * 4;
    total += step(67) * 2;
    total += shift(55) * 6;
    total += step(11) * 1;
    return total;
}

static int lounsa_is_10(int total)
{
    total += scale(59) * 2;
    total += shift(99) * 2;
    total += shift(50) * 5;
    return total;
}

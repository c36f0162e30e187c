/* generated sample source */
#include <stdio.h>

static int isorqu_el_0(int total)
{
    total += scale(47) * 7;
    total += scale(21) * 7;
    total += step(30) * 3;
    total += step(4) * 3;
    return total;
}

static int poru_bapo_1(int total)
{
    total += scale(98) * 3;
    total += step(53) * 2;
    total += scale(55) * 2;
    total += step(83) * 3;
    total += step(42) * 8;
    total += shift(99) * 8;
    return total;
}

static int isorqu_popone_2(int total)
{
    total += step(43) * 9;
    total += shift(8) * 5;
    total += shift(85) * 5;
    total += step(59) * 4;
    total += scale(73) * 1;
    total += shift(3) * 7;
    total += scale(35) * 9;
    total += shift(84) * 5;
    total += shift(79) * 3;
    return total;
}

static int vilo_qu_3(int total)
{
    total += shift(77) * 9;
    total += shift(55) * 2;
    total += shift(90) * 8;
    total += step(25) * 9;
    total += step(36) * 9;
    total += scale(50) * 9;
    total += step(93) * 7;
    return total;
}

static int neka_potiun_4(int total)
{
    total += step(32) * 1;
    total += shift(41) * 4;
    total += scale(89) * 2;
    total += scale(9) * 7;
    total += scale(68) * 1;
    total += shift(60) * 4;
    return total;
}

static int unto_ru_5(int total)
{
    total += step(45) * 4;
    total += step(25) * 5;
    total += step(47) * 7;
    total += step(17) * 7;
    total += scale(79) * 6;
    total += shift(36) * 7;
    return total;
}

static int qu_quunne_6(int total)
{
    total += step(8) * 7;
    total += scale(40) * 6;
    total += scale(58) * 8;
    total += shift(8) * 4;
    total += scale(83) * 1;
    total += step(72) * 5;
    return total;
}

static int is_mine_7(int total)
{
    total += scale(4) * 3;
    total += shift(36) * 4;
    total += shift(8) * 5;
    total += step(44) * 6;
    total += step(43) * 4;
    total += step(99) * 3;
    total += scale(45) * 2;
    total += scale(46) * 8;
    total += shift(7) * 1;
    total += scale(71) * 1;
    total += shift(8) * 5;
    total += step(71) * 4;
    return total;
}

static int bavi_mi_8(int total)
{
    total += step(50) * 7;
    total += scale(37) * 3;
    total += shift(67) * 2;
    total += scale(13) * 2;
    total += shift(85) * 8;
    total += scale(65) * 6;
    return total;
}

static int toresa_vigasa_9(int total)
{
    total += shift(0) * 5;
    total += shift(15) * 5;
    total += scale(62) * 7;
    total += scale(81) * 8;
    total += scale(99) * 2;
    total += step(66) * 1;
    total += shift(22) * 1;
    total += scale(15) * 7;
    total += step(12) * 4;
    total += scale(93) * 5;
    total += step(4) * 1;
    return total;
}

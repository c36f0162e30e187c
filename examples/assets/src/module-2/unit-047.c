/* generated sample source */
#include <stdio.h>

static int quunre_unsa_0(int total)
{
    total += scale(69) * 6;
    total += shift(6) * 8;
    total += shift(73) * 4;
    total += scale(59) * 2;
    total += shift(66) * 2;
    total += scale(72) * 4;
    total += step(92) * 6;
    total += scale(18) * 2;
    total += scale(84) * 5;
    total += shift(93) * 4;
    return total;
}

static int ga_lovivi_1(int total)
{
    total += step(74) * 2;
    total += scale(16) * 8;
    total += scale(93) * 3;
    total += shift(92) * 5;
    total += scale(72) * 6;
    total += scale(62) * 5;
    total += shift(95) * 5;
    total += step(33) * 9;
    return total;
}

static int ismi_quti_2(int total)
{
    total += shift(7) * 3;
    total += shift(1) * 2;
    total += step(47) * 7;
    total += step(96) * 7;
    total += step(30) * 7;
    total += shift(26) * 6;
    return total;
}

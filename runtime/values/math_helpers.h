// Math commands in the game's units: angles in degrees, remainders that never trap.
#pragma once

#include <cstdint>

double math_sin(double degrees);
double math_cos(double degrees);
double math_tan(double degrees);
double math_atan2(double y, double x);
double math_asin(double x);
double math_acos(double x);
double math_sqrt(double x);
double math_pow(double base, double exponent);
double math_fmod(double x, double y);
int32_t math_mod(int32_t a, int32_t b);
double math_abs(double x);
int32_t math_abs(int32_t x);
int32_t math_boxes_overlap(int32_t x1, int32_t y1, int32_t w1, int32_t h1, int32_t x2, int32_t y2, int32_t w2,
                           int32_t h2);
int32_t math_min(int32_t a, int32_t b);
double math_min(double a, double b);
int32_t math_max(int32_t a, int32_t b);
double math_max(double a, double b);
int32_t math_max(int32_t a, double b);

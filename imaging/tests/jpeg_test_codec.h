// A JPEG codec with the JPEG library's entry points, on libjpeg, for tests.
#pragma once

namespace vlmtest {
int SaveJpeg(const char* path, const unsigned char* rows, int width, int height, int dpi,
             int colour, int stride, int quality);
int ReadJpeg(const char* path, unsigned char* out, int* width, int* height, int stride);
} // namespace vlmtest

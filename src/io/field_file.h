// Binary field file: a motion field as two planes of 2-byte fixed-point values.
//
// Layout: line count and column count as 16-bit big-endian (bytes 0-3), then the u plane and the v
// plane, each lines*columns values row-major. A value v is stored as a signed integer byte e (the
// integer part of v + 1 for v >= 0, of v - 1 for v < 0, so e is never 0) and an unsigned byte d (the
// fraction of that number in 1/200 pixel, truncated toward zero). It reads back as
// e - 1 + d*0.005 (e > 0) or e + 1 - d*0.005 (e < 0): magnitudes below 127 round-trip to within
// 0.005 pixel.
//
// Values the two bytes cannot hold are stored at the nearest end of the range: v >= 127 as (127, 199),
// i.e. 126.995, v <= -128 as (-128, 199), i.e. -127.995, and NaN as (1, 0), i.e. 0; the file is still
// written whole and the error argument is set to 3.
//
// Error codes: 0 success, 1 file cannot be created/opened (or written), 2 buffer cannot be
// allocated, 3 values saturated (file written), 4 file too short.
#pragma once

#include <string>

namespace cimg_library {
template <typename T> struct CImg;
}

// Writes the binary field file of the nbcol x nblig buffers ima_u and ima_v (left unchanged), created
// with permission bits 0644. On a create failure: perror "fichier vecteurs", *error = 1.
void write_field(const std::string& name_field, const float* ima_u, const float* ima_v, short nbcol,
                 short nblig, short* error);

// Reads the 4-byte header into *nblig and *nbcol (each = first byte * 256 + second byte).
// On an open failure: perror "fichier vect.", *error = 1.
void read_entete_field(const std::string& name_field, short* nbcol, short* nblig, short* error);

// Skips the header and decodes col*lig values into each of field_u and field_v (the sizes come from
// the arguments, not from the header). On an open failure: perror "fichier", *error = 1; a file too
// short for the planes leaves both buffers untouched and sets *error = 4.
void read_field(const std::string& name_field, float* field_u, float* field_v, short col, short lig,
                short* error);

// Prints "writing " and the file name, then writes planes 0 and 1 of `im` with write_field.
void write_XAmotionH(const std::string& fileXafOut, const cimg_library::CImg<double>& im);

// Prints "reading file " and the file name, reads a Dx x Dy binary field file and returns the
// dx x dy x 2 window at (ofx, ofy). When the file cannot be read (or the window is not inside it) it
// prints one line naming the file on standard error and returns the empty image.
cimg_library::CImg<float> lire_XAmotionH(const std::string& filename, int dx, int dy, int ofx, int ofy,
                                         int Dx, int Dy);

// Text files of motion fields: the motion table (".motion": size line, column header, one line per
// pixel), its variant with an image column, two readers of other vector text formats and a
// 20-column curve table.
//
// A motion field is an image of width x height x 2: plane 0 holds u (to the right), plane 1 holds v
// (down the lines). Float buffers are row-major (x fastest), one value per pixel.
//
// Every failure that the caller cannot recover from prints one line naming the file and the problem
// and ends the process with status 1 (a motion table that cannot be created prints
// "Can't create %s !" on standard output, as the program always has). The tables are written whole
// or not at all (io/output_file.h).
#pragma once

#include <string>

namespace cimg_library {
template <typename T> struct CImg;
}

// Prints the file name and a line break on standard output, copies planes 0 and 1 of `im` into two
// float buffers and writes them with write_champ (width as column count, height as line count).
// A field without a second plane or larger than 32767 on a side is refused.
void write_aMotionFile(const std::string& fileMotionOut, const cimg_library::CImg<double>& im);

// Writes the motion table of the nb_col x nb_lig buffers U and V:
//   "%hd %hd\n" (columns, lines), "#i\tj\tU\tV\n", then per pixel, lines outer and columns inner,
//   "%hd\t%hd\t%f\t%f\n" with the line index, the column index, u and v.
void write_champ(const float* U, const float* V, short nb_col, short nb_lig, const std::string& nom);

// The same with header "#i\tj\tU\tV\tf\n" and a fifth column "%f" taken from Im at the same pixel.
void write_champ_im(const float* U, const float* V, const float* Im, short nb_col, short nb_lig,
                    const std::string& nom);

// Reads a motion table Dx columns wide and returns the dx x dy x 2 window whose top-left pixel is
// (ofx, ofy). Prints the file name and a line break on standard output. The table is read as a table:
// line 1 holds the column and line counts, line 2 is the column header (it begins with '#'), and
// every pixel line read holds exactly its line index, its column index, u and v, separated by blanks
// or tabs, and ends with its line break (a carriage return may precede it), with the indices of its
// place in the table. Refused, ending
// the process with status 1 and one line naming the file (and the line): a directory, a socket or a
// block device (a pipe is read), a file that cannot be opened or is empty; a size line that does
// not match the table asked for (other column count than Dx, fewer lines than ofy + dy, more than
// 32767) or holds more; a size line longer than 4096 characters; a file that cannot be read; a
// window outside the table; a line 2 that is not the header; a pixel line with fewer or more fields,
// a field that is not a number, a value that is not a finite number (nan, inf, beyond single
// precision) or indices other than its place; a file that ends early or within a pixel line.
cimg_library::CImg<float> read_aMotionFile(const std::string& filename, int dx, int dy, int Dx, int ofx,
                                           int ofy);

// The same reading, for a dx x dy window at (ofx, ofy) of which only the dxNeed x dyNeed corner must lie
// inside the table (the rest of the window may reach beyond its columns or lines): what the table holds
// of the window is read, pixels beyond the table are 0. read_aMotionFile is this with the whole window
// needed.
cimg_library::CImg<float> read_aMotionFileWindow(const std::string& filename, int dx, int dy, int dxNeed,
                                                 int dyNeed, int Dx, int ofx, int ofy);

// Reads Dx*Dy lines "%d %d %f %f" (two ignored integers, u, v) stored column by column with the y axis
// pointing up, and returns the dx x dy x 2 window at (ofx, ofy) of the field turned the right way up
// (v negated, lines reversed). Prints the file name and a line break on standard output.
cimg_library::CImg<float> read_aUVFile(const std::string& filename, int dx, int dy, int Dx, int Dy, int ofx,
                                       int ofy);

// Reads lines "\t%d %d %f %f" (column index, line index, u, v) up to a line "##" or the end of the
// file, into a zeroed field of Dx columns and ofy + dy lines (u - Umoy in plane 0, v in plane 1); lines
// whose indices fall outside that field are skipped, blank lines too. Returns the dx x dy x 2 window
// at (ofx, ofy) with both components negated (Umoy - u, -v). Prints the file name and a line break.
cimg_library::CImg<float> read_aUVQuellorFile(const std::string& filename, int dx, int dy, int Dx, int ofx,
                                              int ofy, double Umoy);

// Writes one line per index l from 0 to the length of S1 minus 1: "%d" with l, then " %e" with the
// l-th value of each of the 20 curves. A curve shorter than S1 is refused.
void write_SP(const cimg_library::CImg<double>& S1, const cimg_library::CImg<double>& S2,
              const cimg_library::CImg<double>& S3, const cimg_library::CImg<double>& S4,
              const cimg_library::CImg<double>& S5, const cimg_library::CImg<double>& S6,
              const cimg_library::CImg<double>& S7, const cimg_library::CImg<double>& S8,
              const cimg_library::CImg<double>& S9, const cimg_library::CImg<double>& S10,
              const cimg_library::CImg<double>& S11, const cimg_library::CImg<double>& S12,
              const cimg_library::CImg<double>& S13, const cimg_library::CImg<double>& S14,
              const cimg_library::CImg<double>& S15, const cimg_library::CImg<double>& S16,
              const cimg_library::CImg<double>& S17, const cimg_library::CImg<double>& S18,
              const cimg_library::CImg<double>& S19, const cimg_library::CImg<double>& S20,
              const std::string& filename);

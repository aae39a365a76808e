// Sparse BLAS: products of a sparse matrix with a dense block (c <- alpha op(A) b + beta c) and
// triangular solves with a sparse triangle (c <- op(A)^-1 b), in coordinate, compressed-column and
// compressed-row storage, double and single precision. Every argument is passed by address.
//
// Addressing: compressed arrays may be zero- or one-based, the base being p = pntr[0]; entry positions
// are taken relative to p. Dense arrays addressed through stored indices are read one-based (a
// zero-based caller passes them advanced by one element); dense arrays addressed by the running row
// or column counter are zero-based. A triangular solve stores the result of row i at element p + i - 1
// of the c passed.
#pragma once

// Entry points.
void dcoomm_(const int& transa, const int& m, const int& n, const int& k, const double& alpha,
             const int descra[], const double val[], const int indx[], const int jndx[], const int& nnz,
             const double b[], const int& ldb, const double& beta, double c[], const int& ldc,
             double work[], const int& lwork);
void scoomm_(const int& transa, const int& m, const int& n, const int& k, const float& alpha,
             const int descra[], const float val[], const int indx[], const int jndx[], const int& nnz,
             const float b[], const int& ldb, const float& beta, float c[], const int& ldc,
             float work[], const int& lwork);

void dcscmm_(const int& transa, const int& m, const int& n, const int& k, const double& alpha,
             const int descra[], const double val[], const int indx[], const int pntr[],
             const double b[], const int& ldb, const double& beta, double c[], const int& ldc,
             double work[], const int& lwork);
void scscmm_(const int& transa, const int& m, const int& n, const int& k, const float& alpha,
             const int descra[], const float val[], const int indx[], const int pntr[],
             const float b[], const int& ldb, const float& beta, float c[], const int& ldc,
             float work[], const int& lwork);
void dcsrmm_(const int& transa, const int& m, const int& n, const int& k, const double& alpha,
             const int descra[], const double val[], const int indx[], const int pntr[],
             const double b[], const int& ldb, const double& beta, double c[], const int& ldc,
             double work[], const int& lwork);
void scsrmm_(const int& transa, const int& m, const int& n, const int& k, const float& alpha,
             const int descra[], const float val[], const int indx[], const int pntr[],
             const float b[], const int& ldb, const float& beta, float c[], const int& ldc,
             float work[], const int& lwork);

void dcscsm_(const int& transa, const int& m, const int& n, const int& unitd, const double dv[],
             const double& alpha, const int descra[], const double val[], const int indx[],
             const int pntr[], const double b[], const int& ldb, const double& beta, double c[],
             const int& ldc, double work[], const int& lwork);
void scscsm_(const int& transa, const int& m, const int& n, const int& unitd, const float dv[],
             const float& alpha, const int descra[], const float val[], const int indx[],
             const int pntr[], const float b[], const int& ldb, const float& beta, float c[],
             const int& ldc, float work[], const int& lwork);
void dcsrsm_(const int& transa, const int& m, const int& n, const int& unitd, const double dv[],
             const double& alpha, const int descra[], const double val[], const int indx[],
             const int pntr[], const double b[], const int& ldb, const double& beta, double c[],
             const int& ldc, double work[], const int& lwork);
void scsrsm_(const int& transa, const int& m, const int& n, const int& unitd, const float dv[],
             const float& alpha, const int descra[], const float val[], const int indx[],
             const int pntr[], const float b[], const int& ldb, const float& beta, float c[],
             const int& ldc, float work[], const int& lwork);

// Kernels behind the entry points.
void CoordMatVec_double(int m, int n, int k, const double& alpha, const double val[], const int indx[],
                        const int jndx[], const int& nnz, const double b[], int ldb, double c[], int ldc);
void CoordMatVec_float(int m, int n, int k, const float& alpha, const float val[], const int indx[],
                       const int jndx[], const int& nnz, const float b[], int ldb, float c[], int ldc);
void CompColMatVec_double(int m, int n, int k, const double& alpha, const double val[], const int indx[],
                          const int pntr[], const double b[], int ldb, double c[], int ldc);
void CompColMatVec_float(int m, int n, int k, const float& alpha, const float val[], const int indx[],
                         const int pntr[], const float b[], int ldb, float c[], int ldc);
void CompRowMatVec_double(int m, int n, int k, const double& alpha, const double val[], const int indx[],
                          const int pntr[], const double b[], int ldb, double c[], int ldc);
void CompRowMatVec_float(int m, int n, int k, const float& alpha, const float val[], const int indx[],
                         const int pntr[], const float b[], int ldb, float c[], int ldc);
void ScaleRectangularArray_double(int m, int n, double c[], int ldc, const double& beta);
void ScaleRectangularArray_float(int m, int n, float c[], int ldc, const double& beta);
void CopyRectangularArray_double(int m, int n, const double b[], int ldb, double c[], int ldc);
void CopyRectangularArray_float(int m, int n, const float b[], int ldb, float c[], int ldc);

#define VRM_SPBLAS_SOLVE_KERNEL(name, T)                                                        \
  void name(int m, int n, int unitd, const T dv[], T alpha, const T val[], const int indx[], \
            const int pntr[], const T b[], int ldb, T c[], int ldc);
VRM_SPBLAS_SOLVE_KERNEL(CompRow_LowerUnitSolve_double, double)
VRM_SPBLAS_SOLVE_KERNEL(CompRow_LowerDiagSolve_double, double)
VRM_SPBLAS_SOLVE_KERNEL(CompRow_UpperUnitSolve_double, double)
VRM_SPBLAS_SOLVE_KERNEL(CompRow_UpperDiagSolve_double, double)
VRM_SPBLAS_SOLVE_KERNEL(CompCol_LowerUnitSolve_double, double)
VRM_SPBLAS_SOLVE_KERNEL(CompCol_LowerDiagSolve_double, double)
VRM_SPBLAS_SOLVE_KERNEL(CompCol_UpperUnitSolve_double, double)
VRM_SPBLAS_SOLVE_KERNEL(CompCol_UpperDiagSolve_double, double)
VRM_SPBLAS_SOLVE_KERNEL(CompRow_LowerUnitSolve_float, float)
VRM_SPBLAS_SOLVE_KERNEL(CompRow_LowerDiagSolve_float, float)
VRM_SPBLAS_SOLVE_KERNEL(CompRow_UpperUnitSolve_float, float)
VRM_SPBLAS_SOLVE_KERNEL(CompRow_UpperDiagSolve_float, float)
VRM_SPBLAS_SOLVE_KERNEL(CompCol_LowerUnitSolve_float, float)
VRM_SPBLAS_SOLVE_KERNEL(CompCol_LowerDiagSolve_float, float)
VRM_SPBLAS_SOLVE_KERNEL(CompCol_UpperUnitSolve_float, float)
VRM_SPBLAS_SOLVE_KERNEL(CompCol_UpperDiagSolve_float, float)
#undef VRM_SPBLAS_SOLVE_KERNEL

// The small linear-algebra kit of the distortion coefficients: matrices as row pointers,
// least-squares accumulation, Gauss-Jordan elimination, inverse affine and perspective maps and
// the polynomial basis.
#pragma once

double** AllocDistortMatrix(int rows, int columns);
void FreeDistortMatrix(double** matrix, int rows);
// matrix[i][j] += terms[i] * terms[j]; vectors[k][j] += results[k] * terms[j].
void LeastSquaresAddTerms(double** matrix, double** vectors, const double* terms, const double* results, int size,
                          int count);
// Solves in place with full pivoting: 1 on success, 0 for a singular matrix.
int GaussJordanEliminate(double** matrix, double** vectors, int size, int count);
void InvertAffineCoefficients(const double in[6], double out[6]);
void InvertPerspectiveCoefficients(const double in[8], double out[8]);
int PolyTermCount(double order);
double PolyBasis(int n, double x, double y);
double PolyBasisDx(int n, double x, double y);
double PolyBasisDy(int n, double x, double y);

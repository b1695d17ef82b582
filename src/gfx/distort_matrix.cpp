#include "gfx/distort_matrix.h"

#include <cmath>

#include "platform/os_alloc.h"

double** AllocDistortMatrix(int rows, int columns) {
    if (rows < 1 || columns < 1) return nullptr;
    double** m = (double**)OsAlloc(sizeof(double*) * (size_t)rows, 1);
    if (!m) return nullptr;
    for (int i = 0; i < rows; i++) {
        m[i] = (double*)OsAlloc(sizeof(double) * (size_t)columns, 1);
        if (!m[i]) {
            FreeDistortMatrix(m, i);
            return nullptr;
        }
    }
    return m;
}

void FreeDistortMatrix(double** matrix, int rows) {
    if (!matrix) return;
    for (int i = 0; i < rows; i++) OsFree(matrix[i]);
    OsFree(matrix);
}

void LeastSquaresAddTerms(double** matrix, double** vectors, const double* terms, const double* results, int size,
                          int count) {
    for (int j = 0; j < size; j++)
        for (int i = 0; i < size; i++) matrix[i][j] += terms[i] * terms[j];
    for (int k = 0; k < count; k++)
        for (int j = 0; j < size; j++) vectors[k][j] += results[k] * terms[j];
}

namespace {

// Exchange by sums and differences, skipped when both values are equal.
inline void Exchange(double& a, double& b) {
    if (a == b) return;
    a = a + b;
    b = a - b;
    a = a - b;
}

}  // namespace

int GaussJordanEliminate(double** matrix, double** vectors, int size, int count) {
    int* used = (int*)OsAlloc(sizeof(int) * (size_t)size * 3, 1);
    if (!used) return 0;
    int* rowOf = used + size;
    int* colOf = rowOf + size;
    int ok = 1;
    for (int pass = 0; pass < size && ok; pass++) {
        double best = 0.0;
        int row = 0, col = 0;
        for (int j = 0; j < size; j++) {
            if (used[j] == 1) continue;
            for (int k = 0; k < size; k++) {
                if (used[k] == 0 && std::fabs(matrix[j][k]) >= best) {
                    best = std::fabs(matrix[j][k]);
                    row = j, col = k;
                } else if (used[k] > 1) {
                    ok = 0;
                }
            }
        }
        if (!ok) break;
        used[col]++;
        if (used[col] > 1) {
            ok = 0;
            break;
        }
        if (row != col) {
            for (int k = 0; k < size; k++) Exchange(matrix[row][k], matrix[col][k]);
            for (int k = 0; k < count; k++) Exchange(vectors[k][row], vectors[k][col]);
        }
        rowOf[pass] = row, colOf[pass] = col;
        if (matrix[col][col] == 0.0) {
            ok = 0;
            break;
        }
        double scale = 1.0 / matrix[col][col];
        matrix[col][col] = 1.0;
        for (int k = 0; k < size; k++) matrix[col][k] *= scale;
        for (int k = 0; k < count; k++) vectors[k][col] *= scale;
        for (int j = 0; j < size; j++) {
            if (j == col) continue;
            double f = matrix[j][col];
            matrix[j][col] = 0.0;
            for (int k = 0; k < size; k++) matrix[j][k] -= matrix[col][k] * f;
            for (int k = 0; k < count; k++) vectors[k][j] -= vectors[k][col] * f;
        }
    }
    if (ok)
        for (int pass = size - 1; pass >= 0; pass--)
            if (rowOf[pass] != colOf[pass])
                for (int j = 0; j < size; j++) Exchange(matrix[j][rowOf[pass]], matrix[j][colOf[pass]]);
    OsFree(used);
    return ok;
}

void InvertAffineCoefficients(const double in[6], double out[6]) {
    double det = 1.0 / (in[0] * in[4] - in[1] * in[3]);
    out[0] = det * in[4];
    out[1] = det * (-in[1]);
    out[2] = det * (in[1] * in[5] - in[2] * in[4]);
    out[3] = det * (-in[3]);
    out[4] = det * in[0];
    out[5] = det * (in[2] * in[3] - in[0] * in[5]);
}

void InvertPerspectiveCoefficients(const double in[8], double out[8]) {
    double det = 1.0 / (in[0] * in[4] - in[3] * in[1]);
    out[0] = det * (in[4] - in[7] * in[5]);
    out[1] = det * (in[7] * in[2] - in[1]);
    out[2] = det * (in[1] * in[5] - in[4] * in[2]);
    out[3] = det * (in[6] * in[5] - in[3]);
    out[4] = det * (in[0] - in[6] * in[2]);
    out[5] = det * (in[3] * in[2] - in[0] * in[5]);
    out[6] = det * (in[3] * in[7] - in[6] * in[4]);
    out[7] = det * (in[6] * in[1] - in[0] * in[7]);
}

int PolyTermCount(double order) {
    if (!(order >= 1.0) || order > 5.0) return 0;
    if (order != std::floor(order) && order > 1.5 + 1e-6) return 0;
    return (int)std::floor((order + 1.0) * (order + 2.0) / 2.0);
}

namespace {

// Exponents of x and y for the 21 basis terms, in order.
const int kPowX[21] = {0, 1, 0, 1, 2, 0, 3, 2, 1, 0, 4, 3, 2, 1, 0, 5, 4, 3, 2, 1, 0};
const int kPowY[21] = {0, 0, 1, 1, 0, 2, 0, 1, 2, 3, 0, 1, 2, 3, 4, 0, 1, 2, 3, 4, 5};

double Pow(double v, int e) {
    double r = 1.0;
    while (e-- > 0) r *= v;
    return r;
}

}  // namespace

double PolyBasis(int n, double x, double y) {
    if (n < 0 || n > 20) return 0.0;
    return Pow(x, kPowX[n]) * Pow(y, kPowY[n]);
}

double PolyBasisDx(int n, double x, double y) {
    if (n < 0 || n > 20 || kPowX[n] == 0) return 0.0;
    return kPowX[n] * Pow(x, kPowX[n] - 1) * Pow(y, kPowY[n]);
}

double PolyBasisDy(int n, double x, double y) {
    if (n < 0 || n > 20 || kPowY[n] == 0) return 0.0;
    return kPowY[n] * Pow(x, kPowX[n]) * Pow(y, kPowY[n] - 1);
}

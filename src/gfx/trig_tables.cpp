#include "gfx/trig_tables.h"

#include <cmath>

namespace {

struct DegreeTables {
    double sine[361];
    double cosine[361];
    DegreeTables() {
        for (int i = 0; i <= 360; i++) {
            double r = i * (M_PI / 180.0);
            sine[i] = std::sin(r);
            cosine[i] = std::cos(r);
        }
    }
};

const DegreeTables& Tables() {
    static const DegreeTables tables;
    return tables;
}

}  // namespace

const double* DegreeSinTable() { return Tables().sine; }
const double* DegreeCosTable() { return Tables().cosine; }

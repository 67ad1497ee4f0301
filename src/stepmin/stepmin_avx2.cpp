// stepMinimize's classification built for AVX2 (CMake adds the flag to
// this file alone); stepmin.cpp calls it only where the processor has it.
#include "stepmin/classify.hpp"

stepterms::Terms classifyTermsAvx2(const double* x, const double* v, const double* index,
                                   int32_t termCount, double loPlus, double hiMinus, double hi,
                                   double* b, int32_t* be) {
  return stepclassify::classifyTerms(x, v, index, termCount, loPlus, hiMinus, hi, b, be);
}

// What a gather kernel answers for one output pixel.
#ifndef QB_SCATTER_KERNEL_RESULT_H
#define QB_SCATTER_KERNEL_RESULT_H

// The light sums of the four source channels, then the weight sum.
struct KernelResult {
    float value[5];
};

#endif

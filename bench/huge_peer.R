# Times R's huge (method "glasso") on a covariance written by the sparseprec
# benchmark: args = input file, N, lambda, output file. The input holds S
# as N*N float64 (column-major); huge takes a symmetric input as the
# covariance itself, neither centred nor scaled again, and penalises its
# diagonal too. It has no tolerance to set, and reports no iteration count.
# Prints the wall and CPU seconds of the solve alone; writes the precision.
args <- commandArgs(trailingOnly = TRUE)
n <- as.integer(args[2])
lambda <- as.numeric(args[3])
S <- matrix(readBin(args[1], "double", n * n), n, n)
suppressPackageStartupMessages(library(huge))
start <- proc.time()
fit <- huge(S, lambda = lambda, method = "glasso", verbose = FALSE)
spent <- proc.time() - start
writeBin(as.vector(as.matrix(fit$icov[[1]])), args[4])
cat(sprintf("%.6f NaN %.6f\n", spent[["elapsed"]],
            spent[["user.self"]] + spent[["sys.self"]]))

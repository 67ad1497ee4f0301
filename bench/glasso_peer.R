# Times R's glasso on a covariance written by the sparseprec benchmark:
# args = input file, N, lambda, thr, output file. The input holds S as N*N
# float64 (column-major). penalize.diagonal = TRUE makes glasso solve
# sparseprec's problem exactly. Prints the wall and CPU seconds of the solve
# alone and its iterations; writes the precision.
args <- commandArgs(trailingOnly = TRUE)
n <- as.integer(args[2])
lambda <- as.numeric(args[3])
thr <- as.numeric(args[4])
S <- matrix(readBin(args[1], "double", n * n), n, n)
suppressPackageStartupMessages(library(glasso))
start <- proc.time()
fit <- glasso(S, rho = lambda, penalize.diagonal = TRUE, thr = thr)
spent <- proc.time() - start
writeBin(as.vector(fit$wi), args[5])
cat(sprintf("%.6f %d %.6f\n", spent[["elapsed"]], fit$niter,
            spent[["user.self"]] + spent[["sys.self"]]))

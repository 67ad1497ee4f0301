"""Times scikit-learn's graphical_lasso on a covariance written by the
sparseprec benchmark: argv = input file, N, alpha, tol, output file. The
input holds S + alpha*I as N*N float64 (column-major, symmetric), which
gives the off-diagonal-only penalty the minimiser of the fully penalised
problem. Prints the seconds and iterations; writes the precision."""
import sys
import time

import numpy as np
from sklearn.covariance import graphical_lasso

path, n, alpha, tol, out = sys.argv[1], int(sys.argv[2]), float(sys.argv[3]), float(sys.argv[4]), sys.argv[5]
cov = np.fromfile(path, dtype=np.float64).reshape(n, n)
start = time.perf_counter()
_, precision, iterations = graphical_lasso(cov, alpha, tol=tol, max_iter=200, return_n_iter=True)
seconds = time.perf_counter() - start
precision.astype(np.float64).tofile(out)
print(f"{seconds:.6f} {iterations}")

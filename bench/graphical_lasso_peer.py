"""Times scikit-learn's graphical_lasso on a covariance written by the
sparseprec benchmark: argv = input file, N, alpha, tol, output file. The
input holds S + alpha*I as N*N float64 (column-major, symmetric), which
gives the off-diagonal-only penalty the minimiser of the fully penalised
problem. tol 1e-4 runs the defaults; a tighter tol tightens the inner
solves' enet_tol with it. Prints the wall and CPU seconds of the solve
alone and its iterations; writes the precision."""
import sys
import time
import warnings

import numpy as np
from sklearn.covariance import graphical_lasso

path, n, alpha, tol, out = sys.argv[1], int(sys.argv[2]), float(sys.argv[3]), float(sys.argv[4]), sys.argv[5]
cov = np.fromfile(path, dtype=np.float64).reshape(n, n)
warnings.simplefilter("ignore")  # the benchmark judges convergence itself
start, cpu = time.perf_counter(), time.process_time()
_, precision, iterations = graphical_lasso(cov, alpha, tol=tol, enet_tol=min(tol, 1e-4),
                                           return_n_iter=True)
seconds, cpu = time.perf_counter() - start, time.process_time() - cpu
precision.astype(np.float64).tofile(out)
print(f"{seconds:.6f} {iterations} {cpu:.6f}")

function [ri, ci, sv] = screenpairs(X, M, lambda)
% The pairs i > j with abs(S_ij) > lambda, S = X'*X/M, and their values.
% The Gram product compares X'*X with lambda*M, so X is not scaled.
  [r, c, v] = callkernel('gramprod', X, lambda * M, 4);
  off = r ~= c;
  ri = max(r(off), c(off));
  ci = min(r(off), c(off));
  sv = v(off) / M;
end

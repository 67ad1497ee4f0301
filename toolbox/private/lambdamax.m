function lmax = lambdamax(X, M)
% The largest off-diagonal abs(S_ij) of S = X'*X/M: the smallest lambda
% whose answer is diagonal. S is never held: the products are taken a
% pair of column blocks at a time, each pair once, in a scratch of
% nb x nb doubles.
  nb = 2048;
  N = size(X, 2);
  lmax = 0;
  for j0 = 1:nb:N
    Xj = X(:, j0:min(j0 + nb - 1, N));
    G = Xj' * Xj;
    G(1:size(G, 1) + 1:end) = 0;
    lmax = max(lmax, max(abs(G(:))));
    for i0 = j0 + nb:nb:N
      G = X(:, i0:min(i0 + nb - 1, N))' * Xj;
      lmax = max(lmax, max(abs(G(:))));
    end
  end
  lmax = lmax / M;
end

function U = deltaproduct(n, Dr, Dc, Dv, W)
% U = D*W for the symmetric D whose lower triangle holds Dv at (Dr, Dc),
% all at rows and columns >= lo = min(Dc): the rows of U above lo are 0.
  m = size(W, 2);
  U = zeros(n, m);
  if isempty(Dr)
    return;
  end
  lo = min(Dc);
  k = n - lo + 1;
  % The trailing k x k part of D as value and position lists grouped by
  % column; colrunprod gives D'*W, which is D*W.
  D = symmetric(k, Dr - lo + 1, Dc - lo + 1, Dv);
  [r, c, v] = find(D);
  % Positions are counted in 32 bits: split the columns into groups of at
  % most that many elements.
  width = max(1, floor((2^31 - 1) / k));
  Wt = W(lo:n, :);
  for first = 1:width:k
    last = min(first + width - 1, k);
    in = c >= first & c <= last;
    pos = r(in) + (c(in) - first) * k;
    U(lo + first - 1:lo + last - 1, :) = callkernel('colrunprod', v(in), pos, last - first + 1, Wt);
  end
end

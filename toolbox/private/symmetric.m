function T = symmetric(n, Fr, Fc, v)
% The symmetric sparse matrix whose lower triangle holds v at (Fr, Fc);
% zeros are dropped.
  keep = v ~= 0;
  off = keep & Fr ~= Fc;
  T = sparse([Fr(keep); Fc(off)], [Fc(keep); Fr(off)], [v(keep); v(off)], n, n);
end

function expect_bits (got, want, what)
  % expect_bits (GOT, WANT, WHAT) fails unless GOT and WANT have the same
  % class, size and bits (NaN equal to NaN, -0 apart from +0).
  same = strcmp (class (got), class (want)) && isequal (size (got), size (want));
  if (same && isfloat (got))
    same = isequal (typecast (double (got(:)), 'uint64'), typecast (double (want(:)), 'uint64'));
  elseif (same)
    same = isequal (got, want);
  end
  if (! same && ! isequal (size (got), size (want)))
    error ('expect_bits:size', '%s: size %s, expected %s', what, mat2str (size (got)), ...
           mat2str (size (want)));
  elseif (! same)
    error ('expect_bits:differ', '%s: results differ (%s vs %s, max abs difference %g)', ...
           what, class (got), class (want), max (abs (double (got(:)) - double (want(:)))));
  end
end

function t = fuzz_trunc32 (x)
  % fuzz_trunc32 (X) is X truncated toward zero and saturated to int32, NaN to
  % 0: how the modules read a count.
  t = fix (double (x(1)));
  t(isnan (t)) = 0;
  t = min (max (t, -2^31), 2^31 - 1);
end

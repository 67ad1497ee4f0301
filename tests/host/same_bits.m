function same = same_bits (a, b)
  % same = same_bits (A, B) is true when A and B have the same class, size
  % and sparsity and the same bits throughout (NaN equal to NaN, -0 apart
  % from +0), struct fields (in order) and cells compared the same way.
  same = strcmp (class (a), class (b)) && isequal (size (a), size (b)) ...
         && issparse (a) == issparse (b);
  if (! same)
    return;
  end
  if (isstruct (a))
    same = isequal (fieldnames (a), fieldnames (b));
    for k = 1:numel (a)
      f = fieldnames (a);
      for j = 1:numel (f)
        same = same && same_bits (a(k).(f{j}), b(k).(f{j}));
      end
    end
  elseif (iscell (a))
    for k = 1:numel (a)
      same = same && same_bits (a{k}, b{k});
    end
  elseif (issparse (a))
    [ia, ja, va] = find (a);
    [ib, jb, vb] = find (b);
    same = isequal (ia, ib) && isequal (ja, jb) && same_bits (full (va), full (vb));
  elseif (isfloat (a))
    bits = @(x) typecast ([real(x(:)); imag(x(:))], ifelse_class (x));
    same = isequal (bits (a), bits (b));
  else
    same = isequal (a, b);
  end
end

function c = ifelse_class (x)
  if (isa (x, 'single'))
    c = 'uint32';
  else
    c = 'uint64';
  end
end

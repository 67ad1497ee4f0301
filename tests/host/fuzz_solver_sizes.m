function complaint = fuzz_solver_sizes (outs, A, B, rowSubset)
  % fuzz_solver_sizes (OUTS, A, B, ROWSUBSET) is '' when OUTS of a served
  % dirsolve or dirsolve_duo call have the sizes its arguments ask for.
  r = columns (A);
  if (! isempty (rowSubset))
    r = max (size (rowSubset));
  end
  k = columns (B);
  complaint = '';
  if (! isequal (size (outs{1}), [r k]))
    complaint = sprintf ('made a %s X, expected %s', mat2str (size (outs{1})), mat2str ([r k]));
  elseif (numel (outs) > 1)
    info = outs{2};
    if (! (isstruct (info) && isscalar (info) && isequal (sort (fieldnames (info)), {'passes'; 'relres'})
           && isequal (size (info.passes), [1 k]) && isequal (size (info.relres), [1 k])))
      complaint = 'made an info that is not a struct of two 1 x k rows';
    end
  end
end

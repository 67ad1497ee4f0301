function expect_reject (expected, fn, varargin)
  % expect_reject (EXPECTED, FN, ARGS...) calls FN(ARGS...) and fails unless
  % it prints exactly EXPECTED (a regular expression when it starts with '^')
  % and creates no output.
  args = varargin;
  printed = evalc ('fn (args{:});');
  if (strncmp (expected, '^', 1))
    ok = ! isempty (regexp (printed, expected, 'once'));
  else
    ok = strcmp (printed, expected);
  end
  if (! ok)
    error ('expect_reject:message', '%s printed\n  [%s]\nexpected\n  [%s]', ...
           func2str (fn), printed, expected);
  end
  made = true;
  try
    evalc ('out = fn (args{:});');
  catch
    made = false;
  end
  if (made)
    error ('expect_reject:output', '%s created an output for a rejected call', func2str (fn));
  end
end

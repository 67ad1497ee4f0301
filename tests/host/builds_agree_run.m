function builds_agree_run (file)
  % builds_agree_run (FILE) makes every call of builds_agree_cases with the
  % build of the modules on the path, and saves to FILE what each call
  % printed and returned, where its module came from, and whether its
  % arguments came back with the bits they had.
  cases = builds_agree_cases ();
  n = numel (cases);
  r.from = cell (1, n); r.printed = cell (1, n); r.out = cell (1, n);
  r.made = false (1, n); r.kept = false (1, n);
  for c = 1:n
    k = cases(c);
    r.from{c} = which (k.fn);
    r.printed{c} = evalc ('feval (k.fn, k.args{:});');
    [r.made(c), r.out{c}] = call_with (k.fn, k.nout, k.args);
  end
  again = builds_agree_cases ();
  for c = 1:n
    r.kept(c) = same_bits (cases(c).args, again(c).args);
  end
  save ('-binary', file, 'r');
end

% The outputs of fn(args{:}) asked for as NOUT named variables: assigning
% to out{:} instead would not notice a call that returns none.
function [made, out] = call_with (fn, nout, args)
  names = sprintf ('o%d, ', 1:nout);
  try
    evalc (sprintf ('[%s] = feval (fn, args{:});', names(1:end-2)));
  catch
  end
  out = cell (1, nout);
  made = true;
  for j = 1:nout
    name = sprintf ('o%d', j);
    made = made && exist (name, 'var');
    if (made)
      out{j} = eval (name);
    end
  end
  if (! made)
    out = {};
  end
  % The driver's timings differ from run to run.
  for j = 1:numel (out)
    if (isstruct (out{j}))
      out{j} = rmfield (out{j}, intersect (fieldnames (out{j}), {'seconds', 'time'}));
    end
  end
end

function fuzz_campaign (module, bases, kinds, opts)
  % fuzz_campaign (MODULE, BASES, KINDS, OPTS) calls MODULE on the
  % well-formed argument lists BASES (each must be served) and on mutations
  % of them drawn with a fixed seed: argument count, class, shape, special
  % values, and pairs of these. Every call must be either served (nothing
  % printed, full real double outputs of plausible sizes, the same bits when
  % repeated) or refused (exactly one line, the module's own "ERROR: <module>:
  % ..." or one of OPTS.fixed, quoting only elements its arguments have, and
  % no output), and no argument may change. The error raised at the end
  % lists every call that broke a property, as code that repeats it. A call
  % that crashes the process cannot be listed: FUZZ_TRACE=1 in the
  % environment prints each call before it is made.
  %
  % KINDS{k} says what argument k is, which picks its mutations:
  %   'array'   data, any value is fine    'list'    positions, indices, maps
  %   'scalar'  a number taken as is       'size'    a count the module
  %                                                  allocates or loops by
  %   'sparse'  a sparse matrix            'blocks'  uint64 block numbers
  % A 'size' never takes huge values (2^31, Inf, 1e300), which would ask for
  % a huge output or 2^31 passes; a base call may pair one with an output
  % of no columns instead.
  % OPTS: seed; nout (most outputs); pairs (calls with two mutations);
  % check (@(outs, args) '' or what is implausible about the outputs);
  % skip (@(args) true for a call too costly to make); fixed (the module's
  % historical refusal lines, each with its line feed).
  fn = str2func (module);
  rand ('twister', opts.seed);
  trace = ! isempty (getenv ('FUZZ_TRACE'));
  if (! isfield (opts, 'skip'))
    opts.skip = @(args) false;
  end
  if (! isfield (opts, 'fixed'))
    opts.fixed = {};
  end

  failures = {};
  for b = 1:numel (bases)
    for nout = 0:opts.nout
      what = sprintf ('well-formed call %d', b);
      [served, problem] = one_call (module, fn, bases{b}, nout, what, opts, trace);
      if (isempty (problem) && ! served)
        problem = 'was refused';
      end
      failures = note (failures, module, what, bases{b}, nout, problem);
    end
  end

  muts = single_mutations (bases, kinds);
  plain = find (cellfun (@(m) m.k > 0, muts));
  for p = 1:opts.pairs
    pick = plain(randi (numel (plain), 1, 2));
    if (muts{pick(1)}.k != muts{pick(2)}.k)
      muts{end + 1} = [muts{pick(1)}, muts{pick(2)}];
    end
  end

  made = 0;
  for t = 1:numel (muts)
    m = muts{t};
    b = m(1).base;
    args = bases{b};
    what = sprintf ('call %d', b);
    for s = 1:numel (m)
      [args, ok] = apply_mutation (args, m(s));
      what = [what, ', ', describe(m(s))];
      if (! ok)
        break;
      end
    end
    if (! ok || opts.skip (args))
      continue;
    end
    nout = randi ([0, opts.nout]);
    [~, problem] = one_call (module, fn, args, nout, what, opts, trace);
    failures = note (failures, module, what, args, nout, problem);
    made++;
  end

  if (! isempty (failures))
    shown = failures(1:min (end, 30));
    if (numel (failures) > numel (shown))
      shown{end + 1} = sprintf ('... and %d more', numel (failures) - numel (shown));
    end
    error ('fuzz:campaign', '%s: %d of %d calls broke a property:\n%s', module, ...
           numel (failures), made + numel (bases) * (opts.nout + 1), strjoin (shown, "\n"));
  end
end

function failures = note (failures, module, what, args, nout, problem)
  if (! isempty (problem))
    failures{end + 1} = sprintf ('%s: %s\n  %s', what, problem, call_text (module, args, nout));
  end
end

% Runs one call and checks every property; returns whether it was served
% and, when a property broke, what happened.
function [served, problem] = one_call (module, fn, args, nout, what, opts, trace)
  if (trace)
    fprintf ('%s: %s\n', what, call_text (module, args, nout));
    fflush (stdout);
  end
  keep = cellfun (@deep_copy, args, 'UniformOutput', false);
  [printed, outs, err] = invoke (fn, args, nout);
  served = isempty (err) && (nout > 0 || ! isempty (outs));
  problem = '';
  for k = 1:numel (args)
    if (! same_bits (args{k}, keep{k}))
      problem = sprintf ('changed argument %d from %s to %s', k, show (keep{k}), show (args{k}));
      return;
    end
  end
  refused = '^(element number 1 undefined in return list|value on right hand side of assignment is undefined)';
  if (! isempty (err) && isempty (regexp (err, refused, 'once')))
    problem = sprintf ('raised an error [%s] after printing [%s]', err, printed);
  elseif (served)
    problem = served_problem (printed, outs, args, opts);
    if (isempty (problem))
      [printed, again] = invoke (fn, args, nout);
      if (! isempty (printed) || numel (again) != numel (outs) ...
          || ! all (cellfun (@same_bits, again, outs)))
        problem = 'gave other bits when called again';
      end
    end
  elseif (! known_refusal (module, printed, opts.fixed))
    problem = sprintf ('refused with [%s]', printed);
  else
    problem = check_quotes (printed, args);
    if (! isempty (problem))
      problem = sprintf ('refused with [%s]: %s', strtrim (printed), problem);
    end
  end
end

function problem = served_problem (printed, outs, args, opts)
  problem = '';
  if (! isempty (printed))
    problem = sprintf ('printed [%s] and made an output', printed);
    return;
  end
  for o = 1:numel (outs)
    x = outs{o};
    if (! isstruct (x) && ! (isa (x, 'double') && isreal (x) && ! issparse (x)))
      problem = sprintf ('made output %d of class %s', o, class_text (x));
      return;
    end
  end
  problem = opts.check (outs, args);
end

% Calls fn with nout outputs, catching what the session raises; outs holds
% the outputs made (for nout = 0, the ans the call left, if any).
function [printed, outs, err] = invoke (fn, args, nout)
  outs = {};
  err = '';
  if (nout == 0)
    clear ans;
    printed = evalc ('try, fn (args{:}); catch e, err = e.message; end');
    if (exist ('ans', 'var'))
      outs = {ans};
    end
  else
    names = sprintf ('o%d, ', 1:nout);
    names = names(1:end-2);
    printed = evalc (sprintf ('try, [%s] = fn (args{:}); outs = {%s}; catch e, err = e.message; end', ...
                              names, names));
  end
end

function ok = known_refusal (module, printed, fixed)
  ok = ! isempty (regexp (printed, ['^ERROR: ' module ': [^\n]*\S\n$'], 'once'));
  for f = 1:numel (fixed)
    ok = ok || strcmp (printed, fixed{f});
  end
end

% A refusal that quotes "argument A (...): element K is V" must name an
% element argument A has, with its value (or that value truncated); one
% that says "read by element K of argument A" an element A has.
function complaint = check_quotes (printed, args)
  complaint = '';
  q = regexp (printed, 'argument (\d+) \([^)]*\): element (\d+) is ([^,\s]+)', 'tokens', 'once');
  if (! isempty (q))
    a = str2double (q{1}); k = str2double (q{2}); v = str2double (q{3});
    if (a > numel (args) || k > numel (args{a}))
      complaint = sprintf ('quoted element %d of argument %d, which has %d elements', ...
                           k, a, numel (args{min (a, end)}));
      return;
    end
    if (! isnumeric (args{a}))
      complaint = sprintf ('quoted element %d of argument %d, which is not numeric', k, a);
      return;
    end
    x = double (args{a}(k));
    if (! (x == v || fix (x) == v || (isnan (x) && isnan (v))))
      complaint = sprintf ('quoted element %d of argument %d as %s; it is %.17g', k, a, q{3}, x);
      return;
    end
  end
  r = regexp (printed, 'read by element (\d+) of argument (\d+)', 'tokens', 'once');
  if (! isempty (r))
    k = str2double (r{1}); a = str2double (r{2});
    if (a > numel (args) || k > numel (args{a}))
      complaint = sprintf ('quoted element %d of argument %d, which has %d elements', ...
                           k, a, numel (args{min (a, end)}));
    end
  end
end

% Every single mutation, each on one base call in turn; a list's shapes on
% every base call that has it (an empty list matters most where the other
% arguments are full).
function muts = single_mutations (bases, kinds)
  nargs = cellfun (@numel, bases);
  muts = {};
  for d = 1:nargs(1)
    muts{end + 1} = mutation (1, 'drop', 0, d);
  end
  muts{end + 1} = mutation (1, 'add', 0, []);
  muts{end + 1} = mutation (1, 'add', 0, 1);
  muts{end + 1} = mutation (numel (bases), 'add', 0, {'x'});
  shapes = {'0x0', '1x0', '0x1', '3x0', '0x3', 'transpose', 'column', 'row', ...
            'extra column', 'one row fewer'};
  classes = {'single', 'int32', 'logical', 'char', 'cell', 'struct', 'sparse', ...
             'complex', 'complex zero'};
  count = 0;
  for k = 1:numel (kinds)
    have = find (nargs >= k);
    for s = shapes
      if (strcmp (kinds{k}, 'list'))
        for b = have
          muts{end + 1} = mutation (b, 'shape', k, s{1});
        end
      else
        count++;
        muts{end + 1} = mutation (have(1 + mod (count, numel (have))), 'shape', k, s{1});
      end
    end
    cls = classes;
    if (strcmp (kinds{k}, 'blocks'))
      cls = [cls, {'double'}];
    end
    for s = cls
      count++;
      muts{end + 1} = mutation (have(1 + mod (count, numel (have))), 'shape', k, s{1});
    end
    pool = special_values (kinds{k});
    for v = 1:numel (pool)
      count++;
      muts{end + 1} = mutation (have(1 + mod (count, numel (have))), 'value', k, pool{v});
      if (any (strcmp (kinds{k}, {'list', 'array', 'blocks'})) && mod (v, 3) == 0)
        count++;
        muts{end + 1} = mutation (have(1 + mod (count, numel (have))), 'value', k, pool{v});
        muts{end}.at = 0;                       % every element
      end
    end
  end
end

function m = mutation (base, type, k, value)
  m = struct ('base', base, 'type', type, 'k', k, 'value', {value}, 'at', rand ());
end

function pool = special_values (kind)
  switch (kind)
    case 'size'
      pool = {0, -0, -1, NaN, -Inf, 0.5, 2.9, 1, 2, 7, -2^31, -1e300};
    case 'blocks'
      % Dense small numbers: a block number b costs a (b + 1)^2 pair table.
      pool = num2cell (uint64 ([0 1 2 63 2147483647 2^32])); % above 2147483646 is refused
      pool{end + 1} = intmax ('uint64');
    otherwise
      pool = {0, -0, -1, NaN, Inf, -Inf, 2^31, 2^32, 1e300, -1e300, 0.5, -0.5, ...
              1e-300, 2^31 - 1, -2^31 - 1, 3};
  end
end

% Applies one mutation; ok is false when it does not fit the arguments.
function [args, ok] = apply_mutation (args, m)
  ok = true;
  switch (m.type)
    case 'drop'
      args = args(1:end - m.value);
      return;
    case 'add'
      args{end + 1} = m.value;
      return;
  end
  if (m.k > numel (args))
    ok = false;
    return;
  end
  x = args{m.k};
  try
    switch (m.type)
      case 'shape'
        x = reshaped (x, m.value);
      case 'value'
        if (isempty (x))
          ok = false;
          return;
        elseif (m.at == 0 || isscalar (x))
          x(:) = m.value;
        else
          x(1 + floor (m.at * numel (x))) = m.value;
        end
    end
  catch
    ok = false;                                 % e.g. a char from a cell
    return;
  end
  args{m.k} = x;
end

function x = reshaped (x, how)
  [r, c] = size (x);
  switch (how)
    case {'0x0', '1x0', '0x1', '3x0', '0x3'}
      sz = sscanf (how, '%dx%d')';
      if (issparse (x))
        x = sparse (sz(1), sz(2));
      else
        x = zeros (sz, class (x));
      end
    case 'transpose'
      x = x.';
    case 'column'
      x = x(:);
    case 'row'
      x = x(:).';
    case 'extra column'
      x = [x, x(:, 1:min (c, 1))];
      if (c == 0)
        x = [x, ones(r, 1, class (x))];
      end
    case 'one row fewer'
      x = x(1:max (r - 1, 0), :);
    case 'single'
      x = single (full (x));
    case 'int32'
      x = int32 (full (x));
    case 'logical'
      x = x != 0;
    case 'char'
      x = repmat ('a', size (x));
    case 'cell'
      x = {x};
    case 'struct'
      x = struct ('value', {x});
    case 'sparse'
      if (issparse (x))
        x = full (x);
      else
        x = sparse (double (x));
      end
    case 'complex'
      x = double (x) + 1i;
    case 'complex zero'
      x = complex (double (x), zeros (size (x)));
    case 'double'
      x = double (x);
  end
end

function s = describe (m)
  switch (m.type)
    case 'drop'
      s = sprintf ('without its last %d arguments', m.value);
    case 'add'
      s = sprintf ('with an extra argument %s', show (m.value));
    case 'shape'
      s = sprintf ('argument %d made %s', m.k, m.value);
    case 'value'
      if (m.at == 0)
        s = sprintf ('argument %d all %s', m.k, show (m.value));
      else
        s = sprintf ('argument %d with %s', m.k, show (m.value));
      end
  end
end

% A copy that shares no data with x, so a write through the call's argument
% shows against it.
function y = deep_copy (x)
  if (iscell (x))
    y = cell (size (x));
    for k = 1:numel (x)
      y{k} = deep_copy (x{k});
    end
  elseif (isstruct (x))
    y = x;
    for k = 1:numel (x)
      for f = fieldnames (x)'
        y(k).(f{1}) = deep_copy (x(k).(f{1}));
      end
    end
  elseif (iscomplex (x))
    y = complex (real (x), imag (x));           % real () copies; complex () keeps the flag
  elseif (isempty (x))
    y = x;
  else
    y = x;
    y(1) = x(1);                                % indexed assignment unshares
  end
end

% Same class, shape, storage and bits (NaN payloads and the sign of 0 too).
function ok = same_bits (a, b)
  ok = strcmp (class (a), class (b)) && isequal (size (a), size (b)) ...
       && issparse (a) == issparse (b) && iscomplex (a) == iscomplex (b);
  if (! ok)
    return;
  end
  if (iscell (a))
    ok = all (cellfun (@same_bits, a(:), b(:)));
  elseif (isstruct (a))
    ok = isequal (fieldnames (a), fieldnames (b));
    for k = 1:numel (a)
      for f = fieldnames (a)'
        ok = ok && same_bits (a(k).(f{1}), b(k).(f{1}));
      end
    end
  elseif (issparse (a))
    [ia, ja, va] = find (a);
    [ib, jb, vb] = find (b);
    ok = isequal (ia, ib) && isequal (ja, jb) && same_bits (va, vb);
  elseif (iscomplex (a))
    ok = same_bits (real (a), real (b)) && same_bits (imag (a), imag (b));
  elseif (isa (a, 'double'))
    ok = isequal (typecast (a(:), 'uint64'), typecast (b(:), 'uint64'));
  elseif (isa (a, 'single'))
    ok = isequal (typecast (a(:), 'uint32'), typecast (b(:), 'uint32'));
  else
    ok = isequal (a, b);
  end
end

% The call as Octave code that makes it again.
function s = call_text (module, args, nout)
  texts = cellfun (@show, args, 'UniformOutput', false);
  s = sprintf ('%s (%s)', module, strjoin (texts, ', '));
  if (nout > 0)
    s = sprintf ('[%s] = %s', strjoin (arrayfun (@(o) sprintf ('o%d', o), 1:nout, ...
                                                 'UniformOutput', false), ', '), s);
  end
end

function s = show (x)
  if (iscell (x))
    if (isempty (x))
      s = sprintf ('cell (%d, %d)', rows (x), columns (x));
    else
      s = ['{', strjoin(cellfun (@show, x, 'UniformOutput', false), ', '), '}'];
    end
  elseif (isstruct (x))
    parts = cellfun (@(f) sprintf ('''%s'', {%s}', f, show (x.(f))), fieldnames (x)', ...
                     'UniformOutput', false);
    s = sprintf ('struct (%s)', strjoin (parts, ', '));
  elseif (issparse (x))
    [i, j, v] = find (x);
    s = sprintf ('sparse (%s, %s, %s, %d, %d)', show (i'), show (j'), show (v'), rows (x), columns (x));
  elseif (ischar (x) || islogical (x) || isa (x, 'single'))
    s = sprintf ('%s (%s)', class (x), show (double (x)));
  elseif (iscomplex (x))
    s = sprintf ('complex (%s, %s)', show (real (x)), show (imag (x)));
  elseif (isinteger (x))
    s = sprintf ('%s (%s)', class (x), matrix_text (x, @(v) integer_text (v)));
  else
    s = matrix_text (x, @number_text);
  end
end

% The shortest decimal that reads back as v.
function s = number_text (v)
  for digits = 15:17
    s = sprintf ('%.*g', digits, v);
    if (str2double (s) == v || isnan (v))
      break;
    end
  end
end

function s = integer_text (v)
  if (v == intmax (class (v)))
    s = sprintf ('intmax (''%s'')', class (v));
  elseif (v == intmin (class (v)) && v != 0)
    s = sprintf ('intmin (''%s'')', class (v));
  else
    s = sprintf ('%d', double (v));
  end
end

function s = matrix_text (x, element)
  if (isempty (x))
    s = sprintf ('zeros (%d, %d)', rows (x), columns (x));
  elseif (isscalar (x))
    s = element (x);
  else
    lines = cell (rows (x), 1);
    for r = 1:rows (x)
      lines{r} = strjoin (arrayfun (element, x(r, :), 'UniformOutput', false), ' ');
    end
    s = ['[', strjoin(lines', '; '), ']'];
  end
end

function s = class_text (x)
  s = class (x);
  if (issparse (x))
    s = ['sparse ', s];
  end
  if (iscomplex (x))
    s = ['complex ', s];
  end
end

function t = best_time (fn, reps, nout)
  % best_time (FN, REPS): the fastest of REPS timed calls of FN (7 when
  % omitted). The machine may be shared, so the fastest run is the figure.
  % FN may be a cell array of functions: they are timed in turn, round
  % after round, so a burst of load elsewhere hits all of them alike, and
  % T holds one figure per function.
  % best_time (FN, REPS, NOUT) asks each call for NOUT outputs (0 when
  % omitted; a scalar or one per function): a module makes only the
  % outputs asked for, and a call as a statement asks for none (a module
  % then makes its first output only).
  if (nargin < 2 || isempty (reps))
    reps = 7;
  end
  if (! iscell (fn))
    fn = {fn};
  end
  if (nargin < 3)
    nout = 0;
  end
  nout = nout .* ones (1, numel (fn));
  t = inf (1, numel (fn));
  for r = 1:reps
    for k = 1:numel (fn)
      % The last call's outputs are freed here, before the clock starts.
      out = cell (1, nout(k));
      clear ans;
      tic;
      if (nout(k) == 0)
        fn{k} ();
      else
        [out{:}] = fn{k} ();
      end
      t(k) = min (t(k), toc);
    end
  end
end

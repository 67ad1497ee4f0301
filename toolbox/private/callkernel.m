function varargout = callkernel(name, varargin)
% Calls a compiled module. A module prints nothing unless it refuses a
% call, and then one line and no output; that line becomes the error
% sparseprec:kernel. The line, not a missing output, tells the refusal:
% through MEX, Octave leaves an output the module did not make unset
% without an error until it is used.
  args = varargin;
  outs = cell(1, max(nargout, 1));
  ok = false;
  failure = [];
  t0 = tic;
  text = evalc('try, [outs{:}] = feval(name, args{:}); ok = true; catch failure, end');
  spent(name, toc(t0));
  text = strtrim(text);
  if ~isempty(text)
    error('sparseprec:kernel', 'sparseprec: %s', text);
  end
  if ~ok
    error('sparseprec:kernel', 'sparseprec: %s failed: %s', name, failure.message);
  end
  varargout = outs;
end

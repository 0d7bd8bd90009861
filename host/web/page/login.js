// The login form, shown when the daemon asks for credentials (401). What is
// typed goes to the Rpc's memory and nowhere else; the password field is
// emptied once sent.

export class LoginForm {
  // onSubmit(): after the credentials were handed to rpc.
  constructor({ rpc, onSubmit }) {
    this.rpc = rpc;
    this.onSubmit = onSubmit;
    this.form = document.getElementById('login');
    this.user = document.getElementById('login-user');
    this.password = document.getElementById('login-password');
    this.form.addEventListener('submit', (event) => {
      event.preventDefault();
      this.rpc.setCredentials(this.user.value, this.password.value);
      this.password.value = '';
      this.onSubmit();
    });
  }

  get shown() {
    return !this.form.hidden;
  }

  // Takes the focus only when it appears, so that a refresh that shows it
  // again never pulls the focus away from where the user is.
  show() {
    if (!this.form.hidden) return;
    this.form.hidden = false;
    document.body.classList.add('needs-login');
    (this.user.value ? this.password : this.user).focus();
  }

  hide() {
    this.form.hidden = true;
    document.body.classList.remove('needs-login');
  }
}
